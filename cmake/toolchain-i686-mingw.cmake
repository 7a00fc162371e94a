# 32-bit Windows: what the program ships as.
set(TIDORA_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
