#!/usr/bin/env bash
# Builds everything and runs every test.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}"
configure_and_build "$ROOT/build"
cd "$ROOT/build"
ctest --output-on-failure -j "$JOBS"
