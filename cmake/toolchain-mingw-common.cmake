# Shared by the two toolchain files: cross compilation for Windows with MinGW-w64 (posix thread model, so
# std::thread works). The including file sets LV_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${LV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_RC_FLAGS "-c 1252" CACHE STRING "")
