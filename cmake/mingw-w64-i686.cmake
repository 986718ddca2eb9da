# Cross build for 32-bit Windows (i686) with Debian's MinGW-w64: the shipped
# program, which starts on 32-bit and on 64-bit Windows alike.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(WEBSETUP_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
