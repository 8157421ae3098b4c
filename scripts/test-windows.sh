#!/usr/bin/env bash
# The 32-bit Windows modules, stand-in host and tests (MinGW-w64), run under
# Wine; frames compared with the host build's (build/).
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}"
ensure_architecture i386
ensure_packages g++-mingw-w64-i686 wine wine32
configure_and_build "$ROOT/build"
configure_and_build "$ROOT/build-windows" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DSKARVEL_GTEST_SOURCE=/usr/src/googletest -DSKARVEL_BUILD_BENCH=OFF -DSKARVEL_BUILD_VIDEO=OFF \
    -DSKARVEL_NATIVE_BUILD_DIR="$ROOT/build"
cd "$ROOT/build-windows"
ctest --output-on-failure -j "$JOBS" -L windows-wine
