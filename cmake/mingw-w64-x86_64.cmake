# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVEMTRAC_TESTS=OFF -DVEMTRAC_BENCH=OFF
#   cmake --build build-win
#
# The posix thread model compilers are used because the win32 thread model of
# GCC 12 has no std::mutex, which the servo lock uses. Everything is linked
# statically (libgcc, libstdc++ and winpthreads), so vemtrac.exe needs no DLL
# beyond those Windows itself ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEMTRAC_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VEMTRAC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEMTRAC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEMTRAC_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW-w64 sysroot only; build tools
# from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VEMTRAC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
