# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX
# threads flavour, whose C++ runtime has std::mutex and std::thread).
# Libraries are looked for in CMAKE_FIND_ROOT_PATH: the compiler's own and
# the prefix that scripts/build-windows fills.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVJIT_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVJIT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVJIT_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVJIT_MINGW}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TAVJIT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthread) goes inside each
# program and DLL, which then need only Windows' own libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
