# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model of g++-mingw-w64-x86-64-posix), on any Linux host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KOA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KOA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_ASM_COMPILER ${KOA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_RC_COMPILER ${KOA_MINGW_TRIPLET}-windres)

# Libraries and headers only from the mingw-w64 tree; programs (perl, the
# compilers) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KOA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# nlohmann-json is header-only: the host's copy serves the cross build too,
# through a package file that exposes its headers and nothing else of the
# host's include directory.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-packages/nlohmann_json)
