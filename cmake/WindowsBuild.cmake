# The Windows build, cross-built with cmake/mingw-w64.cmake and tested under
# wine: the platform layer for Windows and its tests. The programs are linked
# statically with the compiler's runtime, so they need no DLLs of it beside them.
add_link_options(-static)

# src/CMakeLists.txt chooses the Windows folder of the platform layer.
add_subdirectory(src)

if(VELMORA_TOOLS)
  # The runtime installer stand-in of the sample medium, a console-less program.
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bin)
  add_executable(dotnetfx-standin WIN32 ${CMAKE_SOURCE_DIR}/tools/standins/windows/dotnetfx_standin.cpp)
  target_link_options(dotnetfx-standin PRIVATE -municode)
  target_link_libraries(dotnetfx-standin PRIVATE advapi32 user32)
  velmora_warnings(dotnetfx-standin)
  unset(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
endif()

if(VELMORA_TESTS)
  enable_testing()
  include(GoogleTest)
  # GoogleTest from the sources Debian installs, built for Windows here.
  set(VELMORA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELMORA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  set(VELMORA_WINDOWS_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/platform/windows)
  add_executable(velmora_probe ${VELMORA_WINDOWS_TEST_DIR}/probe.cpp)
  target_link_options(velmora_probe PRIVATE -municode)
  velmora_warnings(velmora_probe)

  add_executable(velmora_windows_tests ${VELMORA_WINDOWS_TEST_DIR}/windows_platform_test.cpp)
  target_link_libraries(velmora_windows_tests PRIVATE velmora_platform gtest_main)
  add_dependencies(velmora_windows_tests velmora_probe)
  if(TARGET dotnetfx-standin)
    add_dependencies(velmora_windows_tests dotnetfx-standin)
    target_compile_definitions(velmora_windows_tests
                               PRIVATE VELMORA_INSTALLER_STANDIN="$<TARGET_FILE_NAME:dotnetfx-standin>")
  endif()
  velmora_warnings(velmora_windows_tests)
  gtest_discover_tests(velmora_windows_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 120)
endif()
