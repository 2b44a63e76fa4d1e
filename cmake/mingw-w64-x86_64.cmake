# Cross compiling for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64): cmake --toolchain cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix flavour: the win32 one has no std::thread or std::mutex in g++ 12.
set(TQ3_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TQ3_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TQ3_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TQ3_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TQ3_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime linked in: the programs run without its DLLs
# beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
