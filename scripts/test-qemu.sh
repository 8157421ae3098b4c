#!/usr/bin/env bash
# The 32-bit Linux modules, stand-in host and tests (g++ -m32), run under
# qemu-user as a Pentium II, an Athlon without SSE and a Pentium III; frames
# compared with the host build's (build/) for the kernel set each one gets.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}" g++-multilib qemu-user
configure_and_build "$ROOT/build"
configure_and_build "$ROOT/build-i686" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/linux-i686.cmake" \
    -DSKARVEL_GTEST_SOURCE=/usr/src/googletest -DSKARVEL_BUILD_BENCH=OFF -DSKARVEL_BUILD_VIDEO=OFF \
    -DSKARVEL_NATIVE_BUILD_DIR="$ROOT/build"
cd "$ROOT/build-i686"
# All three processors in one run, so that their long tests share the cores;
# ctest's label summary gives each processor's share.
ctest --output-on-failure -j "$JOBS" -L '^qemu-'
