# Cross-compiles for 64-bit Windows with Debian's mingw-w64. The POSIX-thread
# flavour of g++ is the one whose C++ runtime has std::thread and
# std::mutex; the runtime, libgcc and winpthread are linked in statically so
# that the executable needs nothing beside itself but system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the C++ runtime needs (libstdc++, libgcc, winpthread) is
# linked in, so that no DLL of the compiler's is looked for beside the
# executable; the system's DLLs are still imported as usual.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests of the cross-built programs run under Wine (in the prefix that
# tools/test-windows.sh prepares).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
