# 64-bit Windows programs built on Debian with MinGW-w64 (g++-mingw-w64-x86-64-posix). The posix
# thread model, so std::thread and std::mutex work; everything linked statically, so each .exe
# runs on its own (no libstdc++, libgcc or winpthread DLL beside it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELTA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELTA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELTA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELTA_MINGW_TRIPLE}-windres)

# Headers and libraries of the target only; programs (the compilers' helpers) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KELTA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
