# 64-bit Windows: the same sources built to run the suite under 64-bit Wine, on hosts that cannot execute
# 32-bit code. Nothing built this way ships.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LV_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
