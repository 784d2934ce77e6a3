# Cross-builds the station for 64-bit Windows with Debian's MinGW-w64 (POSIX threads) against the
# prebuilt Windows dependencies (qtbase, SQLite, zint) at QUILLON_MINGW_DEPS, which
# scripts/windows.sh unpacks or builds. Qt's host tools (moc, rcc, uic) are Debian's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT QUILLON_MINGW_DEPS)
  set(QUILLON_MINGW_DEPS "$ENV{QUILLON_MINGW_DEPS}")
endif()
if(NOT IS_DIRECTORY "${QUILLON_MINGW_DEPS}/lib/cmake/Qt6")
  message(FATAL_ERROR "No Windows dependencies at \"${QUILLON_MINGW_DEPS}\": run scripts/windows.sh")
endif()
set(QUILLON_MINGW_DEPS "${QUILLON_MINGW_DEPS}" CACHE PATH "The prebuilt Windows dependencies")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLON_MINGW_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${QUILLON_MINGW_DEPS}")
set(CMAKE_PREFIX_PATH "${QUILLON_MINGW_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(QT_HOST_PATH /usr CACHE PATH "Qt's host tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Qt's host CMake packages")
