# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread model, so std::thread and
# std::mutex work). Libraries built for the target (libjpeg, libpng, expat) live under
# QUOLBANE_WINLIBS_PREFIX, which the Windows preset points into the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)
set(CMAKE_AR ${mingw_triplet}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${mingw_triplet}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

# try_compile projects read this file again; hand them the library prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUOLBANE_WINLIBS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
if(QUOLBANE_WINLIBS_PREFIX)
    list(PREPEND CMAKE_FIND_ROOT_PATH "${QUOLBANE_WINLIBS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# JUCE's package config is a host package (its juceaide runs on the build machine), so packages
# are also looked up outside the sysroot.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

if(NOT DEFINED JUCE_DIR)
    set(JUCE_DIR /usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5 CACHE PATH "Debian's JUCE package config")
endif()

