#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time from its committed seed corpus. Any crash, sanitizer report,
# failed check, leak or time-out fails the run and leaves the input in
# build-fuzz/artifacts/.
#   bash scripts/test-fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target: 60 under CI, else $SKARVEL_FUZZ_SECONDS or 10.
source "$(dirname "$0")/common.sh"
ensure_packages "${BASE_PACKAGES[@]}" clang-14 libclang-rt-14-dev

if [ -n "${CI:-}" ]; then default=60; else default="${SKARVEL_FUZZ_SECONDS:-10}"; fi
SECONDS_EACH="${1:-$default}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(frame y4m)

BUILD="$ROOT/build-fuzz"
configure_and_build_targets() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -gline-tables-only" \
        -DSKARVEL_BUILD_FUZZ=ON -DSKARVEL_BUILD_TESTS=OFF -DSKARVEL_BUILD_TOOLS=ON -DSKARVEL_BUILD_VIDEO=OFF \
        -DSKARVEL_BUILD_BENCH=OFF >/dev/null
    # Only the fuzz targets: the modules' --no-undefined link wants GCC's runtimes.
    cmake --build "$BUILD" -j "$JOBS" --target "${TARGETS[@]/#/fuzz_}"
}
configure_and_build_targets

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$BUILD/artifacts"
for t in "${TARGETS[@]}"; do
    corpus="$BUILD/corpus/$t"
    mkdir -p "$corpus"
    echo "== fuzz_$t for ${SECONDS_EACH}s"
    # New inputs go to the first corpus directory, never into the committed seeds.
    "$BUILD/fuzz_$t" "$corpus" "$ROOT/fuzz/corpus/$t" \
        -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" 2>"$BUILD/fuzz_$t.log" || {
        tail -n 60 "$BUILD/fuzz_$t.log" >&2
        echo "fuzz_$t failed; the input is in $BUILD/artifacts/" >&2
        exit 1
    }
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$BUILD/fuzz_$t.log" || true
done
