# 32-bit Linux builds (Debian's g++-multilib) for a Pentium (i586) baseline:
# x87 arithmetic, no CMOV (the K6-2 lacks it) and no SSE outside the
# functions that ask for it. Programs run
# under qemu-i386 as the processor named by SKARVEL_QEMU_CPU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

set(SKARVEL_BASELINE_FLAGS "-m32 -march=i586 -mtune=generic -mfpmath=387")
set(CMAKE_C_FLAGS_INIT "${SKARVEL_BASELINE_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${SKARVEL_BASELINE_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-qemu.sh)
