#!/usr/bin/env bash
# The library, both modules, the hosts and the whole test suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the run.
# GCC links its sanitizer runtimes into shared objects too, so the modules keep
# their --no-undefined link and the stand-in host, which links the runtime
# itself, can dlopen them.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}" ffmpeg  # the video tool's tests run ffmpeg

SANITIZE="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all"
configure_and_build "$ROOT/build-sanitize" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_CXX_FLAGS="$SANITIZE -fno-omit-frame-pointer -O1" \
    -DCMAKE_EXE_LINKER_FLAGS="$SANITIZE" \
    -DCMAKE_SHARED_LINKER_FLAGS="$SANITIZE" \
    -DCMAKE_MODULE_LINKER_FLAGS="$SANITIZE" \
    -DSKARVEL_BUILD_BENCH=OFF

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$ROOT/build-sanitize"
echo "== sanitizer suite (ASan + UBSan)"
ctest --output-on-failure -j "$JOBS"
cd "$ROOT"
echo "== modules dlopen'ed by the sanitized stand-in host"
bash "$ROOT/scripts/run-host-matrix.sh" "$ROOT/build-sanitize"
