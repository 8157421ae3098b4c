#!/usr/bin/env bash
# Builds the plug-in and the video tool, then runs its demo: a generated clip
# with chroma noise, denoised with the defaults, PSNR printed, files in build/demo.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}"
configure_and_build "$ROOT/build" -DSKARVEL_BUILD_TESTS=OFF -DSKARVEL_BUILD_BENCH=OFF
"$ROOT/build/skarvel" demo "$ROOT/build/demo"
