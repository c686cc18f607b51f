# The Windows build, cross-built with cmake/mingw-w64.cmake and tested under
# wine: the platform layer for Windows and its tests. The programs are linked
# statically with the compiler's runtime, so they need no DLLs of it beside them.
add_link_options(-static)

# The whole navigator once the toolkit's libraries are in the prefix; before
# that, the platform layer alone (src/CMakeLists.txt chooses its Windows folder).
find_package(PkgConfig REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS filesystem system)
pkg_check_modules(GTK2 QUIET IMPORTED_TARGET gtk+-win32-2.0 gthread-2.0)
if(GTK2_FOUND)
  set(VELMORA_PLATFORM_ONLY OFF)
  pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gobject-2.0)
  pkg_check_modules(PIXBUF REQUIRED IMPORTED_TARGET gdk-pixbuf-2.0)
  pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
  find_package(DCMTK REQUIRED CONFIG)
  find_package(Threads REQUIRED)
  # A program of the GUI subsystem opens no console window.
  set(VELMORA_PROGRAM_KIND WIN32)
else()
  message(STATUS "GTK+ 2 for Windows not found in ${VELMORA_WIN64_PREFIX}: the platform layer only")
  set(VELMORA_PLATFORM_ONLY ON)
endif()
add_subdirectory(src)

if(VELMORA_TOOLS)
  # The runtime installer stand-in of the sample medium, a console-less program.
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bin)
  add_executable(dotnetfx-standin WIN32 ${CMAKE_SOURCE_DIR}/tools/standins/windows/dotnetfx_standin.cpp)
  target_link_options(dotnetfx-standin PRIVATE -municode)
  target_link_libraries(dotnetfx-standin PRIVATE advapi32 user32)
  velmora_warnings(dotnetfx-standin)
  if(NOT VELMORA_PLATFORM_ONLY)
    # The viewer stand-in: its splash window, then the DICOMDIR's patients.
    add_executable(dicomviewer-standin WIN32 ${CMAKE_SOURCE_DIR}/tools/standins/dicomviewer_standin.cpp
                                             ${CMAKE_SOURCE_DIR}/tools/standins/dicomdir_listing.cpp)
    target_link_libraries(dicomviewer-standin PRIVATE velmora_platform PkgConfig::GTK2 DCMTK::DCMTK)
    velmora_warnings(dicomviewer-standin)
  endif()
  unset(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
endif()

if(NOT VELMORA_PLATFORM_ONLY AND TARGET dicomviewer-standin)
  # The Windows files of the medium, for make-sample-medium --windows.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll OUTPUT_VARIABLE libgcc
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(libgcc_dir ${libgcc} DIRECTORY)
  add_custom_target(
    windows_medium ALL
    COMMAND ${CMAKE_COMMAND} -DMEDIUM=${CMAKE_BINARY_DIR}/medium -DPREFIX=${VELMORA_WIN64_PREFIX}
            "-DRUNTIME_DIRS=${libgcc_dir}|/usr/${VELMORA_MINGW_HOST}/lib"
            -DPROGRAM=$<TARGET_FILE:velmora-brelantor> -DOWN_VIEWER=$<TARGET_FILE:velmora-viewer>
            -DVIEWER=$<TARGET_FILE:dicomviewer-standin>
            -DINSTALLER=$<TARGET_FILE:dotnetfx-standin> -DOBJDUMP=${VELMORA_MINGW_HOST}-objdump
            -DSTRIP=${VELMORA_MINGW_HOST}-strip
            -P ${CMAKE_SOURCE_DIR}/cmake/StageWindowsMedium.cmake
    DEPENDS velmora-brelantor velmora-viewer dicomviewer-standin dotnetfx-standin
    VERBATIM)
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
  target_link_libraries(velmora_windows_tests PRIVATE velmora_platform velmora_desktop gtest_main)
  add_dependencies(velmora_windows_tests velmora_probe)
  if(TARGET dotnetfx-standin)
    add_dependencies(velmora_windows_tests dotnetfx-standin)
    target_compile_definitions(velmora_windows_tests
                               PRIVATE VELMORA_INSTALLER_STANDIN="$<TARGET_FILE_NAME:dotnetfx-standin>")
  endif()
  velmora_warnings(velmora_windows_tests)
  gtest_discover_tests(velmora_windows_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 120)

  # The GUI tests from the Linux sources that hold on Windows too, with the
  # support files they need (a Windows file where the Linux one uses POSIX).
  # The toolkit's DLLs stay in the prefix: wine finds them on WINEPATH.
  if(NOT VELMORA_PLATFORM_ONLY)
    set(tests ${CMAKE_SOURCE_DIR}/tests)
    add_library(
      velmora_windows_test_support STATIC
      ${tests}/support/browser_session.cpp ${tests}/support/child_run.cpp ${tests}/support/dicom_fixture.cpp
      ${tests}/support/gtk_test_main.cpp ${tests}/support/gui.cpp ${tests}/support/scoped_medium.cpp
      ${tests}/support/scratch_folder.cpp ${tests}/support/viewer_images.cpp
      ${tests}/support/windows/file_permissions.cpp ${tests}/support/windows/pointer_button.cpp
      ${tests}/support/windows/stacking.cpp)
    target_include_directories(velmora_windows_test_support PUBLIC ${tests})
    target_link_libraries(velmora_windows_test_support PUBLIC velmora_core gtest)
    velmora_warnings(velmora_windows_test_support)

    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll OUTPUT_VARIABLE libgcc
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(libgcc_dir ${libgcc} DIRECTORY)
    # WINEPATH separates with ";", which a CMake list cannot carry: a wrapper sets it.
    set(wine_with_toolkit ${CMAKE_BINARY_DIR}/wine-with-toolkit.sh)
    file(WRITE ${wine_with_toolkit}
         "WINEPATH='${VELMORA_WIN64_PREFIX}/bin;${libgcc_dir};/usr/${VELMORA_MINGW_HOST}/lib' exec ${VELMORA_WINE} \"$@\"\n")

    # Left to Linux: a temporary folder chosen by TMPDIR and a mode that denies
    # the owner; a dangling symbolic link; a file name with quotes; paths traced
    # with "/" (Windows traces its own separator); accessible names (the
    # toolkit's accessibility module is not built for Windows).
    set(linux_only MainWindowTest.WithoutAWorkingDirectoryTheTilesShowTheMediumsPictures
                   MainWindowTest.ReferenceTileWithAnyKindOfRefimgEntry
                   SeriesLoadingTest.EntryThatFailsIsTracedWithItsQuotedName
                   BrowserInputTest.EachKeyAndWheelTurnGivesTheStateOfItsButton
                   BrowserInputTest.TheTreeIsWalkedWithArrowsAndTabAndReadAsButtonsThatOpen)
    list(JOIN linux_only ":" linux_only)
    set(browser_tests browser_input browser_window cine_playback current_position full_pictures image_view
                      navigation rules/key_map rules/position_and_zoom_rules series_loading tree_building zoom)
    list(TRANSFORM browser_tests REPLACE "(.+)" "${tests}/browser/\\1_test.cpp")
    add_executable(velmora_windows_gui_tests ${tests}/app/main_window_test.cpp ${browser_tests}
                                             ${tests}/support/picture_bytes.cpp)
    target_link_libraries(velmora_windows_gui_tests PRIVATE velmora_windows_test_support velmora_core velmora_desktop
                                                            PkgConfig::JPEG)
    set_target_properties(velmora_windows_gui_tests PROPERTIES CROSSCOMPILING_EMULATOR "sh;${wine_with_toolkit}")
    velmora_warnings(velmora_windows_gui_tests)
    gtest_discover_tests(velmora_windows_gui_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         TEST_FILTER "-${linux_only}" PROPERTIES TIMEOUT 120)

    # The diagnostic viewer: opening a DICOMDIR, a folder or files, and its
    # window's keys, wheel and drags. Left to Linux: the export compared with
    # DCMTK's own command-line programs, which the Windows build does not have.
    add_executable(velmora_windows_viewer_tests ${tests}/imaging/examination_test.cpp
                                                ${tests}/viewer/viewer_window_test.cpp)
    target_link_libraries(velmora_windows_viewer_tests PRIVATE velmora_windows_test_support velmora_viewer
                                                               velmora_core velmora_desktop)
    set_target_properties(velmora_windows_viewer_tests PROPERTIES CROSSCOMPILING_EMULATOR "sh;${wine_with_toolkit}")
    # The hostile files are made with thousands of nested sequences, which the
    # toolkit writes recursively: the main thread gets the stack it has on Linux.
    target_link_options(velmora_windows_viewer_tests PRIVATE -Wl,--stack,8388608)
    velmora_warnings(velmora_windows_viewer_tests)
    gtest_discover_tests(velmora_windows_viewer_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 120)

    # Against the recording fake of the desktop services, as on Linux.
    add_executable(velmora_windows_gui_faked_tests ${tests}/descriptions/description_chooser_faked_test.cpp
                                                   ${tests}/viewer_launch/viewer_launch_faked_test.cpp ${tests}/fakes/fake_desktop.cpp)
    target_link_libraries(velmora_windows_gui_faked_tests PRIVATE velmora_windows_test_support velmora_core)
    set_target_properties(velmora_windows_gui_faked_tests PROPERTIES CROSSCOMPILING_EMULATOR "sh;${wine_with_toolkit}")
    velmora_warnings(velmora_windows_gui_faked_tests)
    gtest_discover_tests(velmora_windows_gui_faked_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 120)

    # The suite's tests that need no window system of their own, in one wine
    # start: each start costs seconds. Left to Linux: links, pipes, owners and
    # modes, and names Windows does not allow.
    set(unit_tests base/medium_root base/text catalogue/directory_listing catalogue/medium_relative_path
                   catalogue/picture_decoder catalogue/study_metadata_reader descriptions/description_list
                   descriptions/wrapper_page tree/branch_tree viewer_launch/viewer_settings)
    list(TRANSFORM unit_tests REPLACE "(.+)" "${tests}/\\1_test.cpp")
    add_executable(velmora_windows_unit_tests ${unit_tests} ${tests}/support/picture_bytes.cpp)
    target_link_libraries(velmora_windows_unit_tests PRIVATE velmora_windows_test_support velmora_core
                                                             velmora_desktop PkgConfig::JPEG)
    target_compile_definitions(velmora_windows_unit_tests PRIVATE VELMORA_TEST_DATA_DIR="${tests}")
    velmora_warnings(velmora_windows_unit_tests)
    add_test(NAME windows_unit_tests
             COMMAND sh ${wine_with_toolkit} $<TARGET_FILE:velmora_windows_unit_tests>
                     --gtest_filter=-WrapperPageFileTest.PageOfAReportInAFolderIsWrittenIntoAPrivateFolderOfTheSameName)
    set_tests_properties(windows_unit_tests PROPERTIES TIMEOUT 300)
  endif()

  # The Windows disc under wine as a user would use it, made and watched with
  # the Linux build's tools (scripts/test.sh windows builds them first).
  if(TARGET windows_medium)
    set(VELMORA_LINUX_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "The Linux build with make-sample-medium")
    add_test(NAME windows_disc_session
             COMMAND ${CMAKE_SOURCE_DIR}/tests/disc/windows_disc_end_to_end.sh ${VELMORA_LINUX_BUILD}/tools/bin
                     ${VELMORA_LINUX_BUILD}/tests/screen_probe)
    set_tests_properties(windows_disc_session PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
  endif()
endif()
