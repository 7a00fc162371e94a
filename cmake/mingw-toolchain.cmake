# Cross-build for Windows with the posix-thread mingw-w64 compilers (the
# win32-thread flavour has no std::mutex / std::thread). Included by
# toolchain-<arch>-mingw.cmake, which sets TIDORA_MINGW_ARCH first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TIDORA_MINGW_ARCH})
set(CMAKE_C_COMPILER ${TIDORA_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDORA_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${TIDORA_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TIDORA_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# -static alone pulls winpthread in statically too; without it the exe
# imports libwinpthread-1.dll and does not start on a clean Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
