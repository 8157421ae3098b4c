#!/usr/bin/env bash
# Runs both modules through skarvel-host over hostile raw frames in every
# ShiftMode (and an unknown one), with and without half width and the
# coefficient display, lines of 512 and 1024 padding in both directions.
#   bash scripts/run-host-matrix.sh BUILD_DIR [WRAPPER ARGS...]
# The wrapper (valgrind, for example) runs each skarvel-host; any failure stops.
source "$(dirname "$0")/common.sh"
BUILD="$1"
shift
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

SIZES=(96x64:101 600x40 40x600)
python3 "$ROOT/scripts/hostile_frames.py" "$WORK" "${SIZES[@]}"
# Per size: the parameters that go with it.
declare -A EXTRA=(
    [96x64:101]="--track 15=0"
    [600x40]="--check 0=1 --check 1=1 --track 15=2"
    [40x600]="--track 15=4 --track 13=2147483647"
)
runs=0
for module in cr cb; do
    for mode in 0 1 2 3 7; do
        for spec in "${SIZES[@]}"; do
            size="${spec%%:*}"
            pitch="${spec#*:}"
            [ "$pitch" = "$spec" ] && pitch="${size%%x*}"
            # shellcheck disable=SC2086
            if ! "$@" "$BUILD/skarvel-host" --plugin "$BUILD/skarvel_$module.so" --size "$size" \
                --pitch "$pitch" --track 0="$mode" ${EXTRA[$spec]} \
                "$WORK/$spec.raw" "$WORK/out.raw" 2>"$WORK/log"; then
                cat "$WORK/log" >&2
                echo "failed: skarvel_$module mode $mode $spec ${EXTRA[$spec]}" >&2
                exit 1
            fi
            cmp -s <(stat -c %s "$WORK/$spec.raw") <(stat -c %s "$WORK/out.raw") || {
                echo "output size differs: skarvel_$module mode $mode $spec" >&2
                exit 1
            }
            runs=$((runs + 1))
        done
    done
done
echo "host matrix: $runs runs of skarvel-host clean${1:+ under $1}"
