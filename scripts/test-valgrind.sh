#!/usr/bin/env bash
# valgrind memcheck over the stand-in host with both modules (the ordinary
# build) and the video tool: no memory errors and no leaks, or the run fails.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}" valgrind
configure_and_build "$ROOT/build" >/dev/null
echo "== valgrind memcheck"
bash "$ROOT/scripts/run-host-matrix.sh" "$ROOT/build" \
    valgrind -q --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible
