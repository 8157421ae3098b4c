# 32-bit Windows modules and tools with Debian's MinGW-w64. The posix thread
# model, because GoogleTest needs std::mutex; the modules use no threads and
# come out the same with either model, and -static keeps winpthread (like
# libgcc and libstdc++) out of the DLL imports.
# Everything is built for a Pentium (i586: x87 arithmetic, no CMOV, so a K6-2
# runs it; no SSE); the SSE kernels
# ask for SSE per function.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(SKARVEL_BASELINE_FLAGS "-march=i586 -mtune=generic -mfpmath=387")
set(CMAKE_C_FLAGS_INIT "${SKARVEL_BASELINE_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${SKARVEL_BASELINE_FLAGS}")
# libgcc and libstdc++ go into each binary: the modules import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-wine.sh ${CMAKE_BINARY_DIR}/wineprefix)
