# 64-bit Windows: the same code, for machines that run only Wine's 64-bit half.
set(TIDORA_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
