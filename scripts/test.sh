#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the reliability
# stages, then the 32-bit Windows build under Wine and the 32-bit Linux build
# under qemu as three processors.
source "$(dirname "$0")/common.sh"

native() {
    ensure_packages "${BASE_PACKAGES[@]}" ffmpeg  # ffmpeg drives the video tool's tests
    configure_and_build "$ROOT/build" -DSKARVEL_BUILD_TESTS=ON -DSKARVEL_BUILD_BENCH=ON
    (cd "$ROOT/build" && ctest --output-on-failure -j "$JOBS")
}
run_stage native native
for stage in sanitize fuzz valgrind; do run_stage "$stage" bash "$ROOT/scripts/test-$stage.sh"; done
run_stage windows-wine bash "$ROOT/scripts/test-windows.sh"
run_stage qemu bash "$ROOT/scripts/test-qemu.sh"
