#!/usr/bin/env bash
# Builds the plug-in and denoises a generated noisy frame through the stand-in host.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}"
configure_and_build "$ROOT/build" -DSKARVEL_BUILD_TESTS=OFF -DSKARVEL_BUILD_BENCH=OFF
python3 "$ROOT/scripts/demo_frame.py" "$ROOT/build"
