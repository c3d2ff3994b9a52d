# Cross compiling for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which
# std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OBX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OBX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OBX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OBX_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot and the prefixes given in CMAKE_PREFIX_PATH
# (the cross-built dependencies), never from the build machine's own /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${OBX_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their runtime (libstdc++, libgcc, winpthread) inside, so they run from any folder.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
