# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers, against the
# libraries scripts/windows/deps.sh builds into its cache prefix:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=scripts/windows/mingw-w64.cmake
#
# The prefix is TARVEL_WINDOWS_PREFIX (a -D option or the environment), else the
# cache deps.sh finished last (~/.cache/tarvel-windows/current).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: Qt needs std::thread and std::mutex, which the win32
# model of gcc 12 lacks.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT TARVEL_WINDOWS_PREFIX)
  if(DEFINED ENV{TARVEL_WINDOWS_PREFIX})
    set(TARVEL_WINDOWS_PREFIX "$ENV{TARVEL_WINDOWS_PREFIX}")
  else()
    set(_tarvel_cache "$ENV{XDG_CACHE_HOME}")
    if(NOT _tarvel_cache)
      set(_tarvel_cache "$ENV{HOME}/.cache")
    endif()
    file(REAL_PATH "${_tarvel_cache}/tarvel-windows/current" TARVEL_WINDOWS_PREFIX)
  endif()
endif()
if(NOT EXISTS "${TARVEL_WINDOWS_PREFIX}/lib")
  message(FATAL_ERROR "No Windows libraries in '${TARVEL_WINDOWS_PREFIX}': run scripts/windows/deps.sh")
endif()
set(TARVEL_WINDOWS_PREFIX "${TARVEL_WINDOWS_PREFIX}" CACHE PATH "Where deps.sh built the Windows libraries")
# try_compile projects read this file again without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARVEL_WINDOWS_PREFIX)

# Libraries, headers and packages only from the prefix and the MinGW sysroot
# (zlib, odbc32), never from the Linux system; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH "${TARVEL_WINDOWS_PREFIX}" /usr/x86_64-w64-mingw32)
list(APPEND CMAKE_PREFIX_PATH "${TARVEL_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ENV{PKG_CONFIG_LIBDIR} "${TARVEL_WINDOWS_PREFIX}/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# A cross-built Qt takes its tools (moc, rcc, uic) from the build machine's Qt
# of the same version (Debian's qt6-base-dev).
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# The build machine's rcc compresses with zstd, which this Qt cannot read
# (built without zstd): qt_add_resources then passes --no-zstd itself, AUTORCC
# does not.
set(CMAKE_AUTORCC_OPTIONS --no-zstd)

# ctest runs the test programs under Wine (scripts/windows/test.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
