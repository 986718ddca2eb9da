# Cross build for 64-bit Windows (x86_64) with Debian's MinGW-w64. The product
# is the 32-bit build (mingw-w64-i686.cmake); this one is kept building and tested.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(WEBSETUP_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
