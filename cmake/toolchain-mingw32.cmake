# 32-bit Windows: the architecture the deliverables ship for.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LV_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
