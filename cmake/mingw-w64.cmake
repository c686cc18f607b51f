# Cross-builds for 64-bit Windows with Debian's MinGW-w64 compilers (POSIX
# thread model). The libraries come from the prefix that
# scripts/setup-windows.sh fills (VELMORA_WIN64_PREFIX); programs built for
# Windows run under wine where the build needs to run one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_HOST x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VELMORA_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_HOST}-windres)

if(NOT VELMORA_WIN64_PREFIX)
  if(DEFINED ENV{VELMORA_WIN64_PREFIX})
    set(VELMORA_WIN64_PREFIX $ENV{VELMORA_WIN64_PREFIX})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(VELMORA_WIN64_PREFIX $ENV{XDG_CACHE_HOME}/velmora-win64)
  else()
    set(VELMORA_WIN64_PREFIX $ENV{HOME}/.cache/velmora-win64)
  endif()
endif()
set(VELMORA_WIN64_PREFIX ${VELMORA_WIN64_PREFIX} CACHE PATH "Prefix of the Windows libraries")
# try_compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_WIN64_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_HOST} ${VELMORA_WIN64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers for the Windows libraries only.
set(ENV{PKG_CONFIG_LIBDIR} ${VELMORA_WIN64_PREFIX}/lib/pkgconfig:/usr/${VELMORA_MINGW_HOST}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

find_program(VELMORA_WINE NAMES wine wine64)
if(VELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_WINE})
endif()
