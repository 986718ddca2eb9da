# What both MinGW-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR
# and WEBSETUP_MINGW_PREFIX first. The posix-threads compilers, because the
# getter's worker is a std::thread.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${WEBSETUP_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WEBSETUP_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${WEBSETUP_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WEBSETUP_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program runs on a bare Windows: no MinGW runtime DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built tests run through Wine.
find_program(WEBSETUP_WINE NAMES wine)
if(WEBSETUP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WEBSETUP_WINE})
endif()

# GCC 12's -O3 inlines std::string copies into false -Wrestrict warnings
# (GCC bug 105329), which -Werror turns into failures; -O2 is enough here.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE "-s" CACHE STRING "")
