# Shared part of the MinGW-w64 toolchains: compilers, search roots and the Wine test runner.
# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
set(CMAKE_C_COMPILER ${CUBRIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CUBRIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CUBRIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CUBRIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CTest runs every test program through Wine (scripts/lib/wine-exec picks the loader and prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/lib/wine-exec)
