#!/usr/bin/env bash
# Builds everything and runs every test.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}" ffmpeg  # ffmpeg drives the video tool's tests
configure_and_build "$ROOT/build" -DSKARVEL_BUILD_TESTS=ON -DSKARVEL_BUILD_BENCH=ON
for stage in sanitize fuzz valgrind; do bash "$ROOT/scripts/test-$stage.sh"; done
cd "$ROOT/build"
ctest --output-on-failure -j "$JOBS"
