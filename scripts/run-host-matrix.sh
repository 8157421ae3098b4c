#!/usr/bin/env bash
# Runs both modules through skarvel-host over hostile raw frames in every
# ShiftMode (and an unknown one), with and without half width and the
# coefficient display, lines of 512 and 1024 padding in both directions; then
# the video tool over short clips.
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
        for shape in "${SIZES[@]}"; do
            size="${shape%%:*}"
            pitch="${shape#*:}"
            [ "$pitch" = "$shape" ] && pitch="${size%%x*}"
            # shellcheck disable=SC2086
            if ! "$@" "$BUILD/skarvel-host" --plugin "$BUILD/skarvel_$module.so" --size "$size" \
                --pitch "$pitch" --track 0="$mode" ${EXTRA[$shape]} \
                "$WORK/$shape.raw" "$WORK/out.raw" 2>"$WORK/log"; then
                cat "$WORK/log" >&2
                echo "failed: skarvel_$module mode $mode $shape ${EXTRA[$shape]}" >&2
                exit 1
            fi
            cmp -s <(stat -c %s "$WORK/$shape.raw") <(stat -c %s "$WORK/out.raw") || {
                echo "output size differs: skarvel_$module mode $mode $shape" >&2
                exit 1
            }
            runs=$((runs + 1))
        done
    done
done

# The video tool over short clips: both modules on two threads, every mode,
# the display, and a truncated stream that must fail cleanly (exit 1, and
# nothing else wrong). A wrapper's own failure must be told apart from the
# tool's: give valgrind another exit code than 1.
CLIPS=(64x48:420:3.y4m 40x20:444p10:2.y4m 33x17:422p12:2.y4m)
python3 "$ROOT/scripts/hostile_frames.py" "$WORK" "${CLIPS[@]}"
head -c 3000 "$WORK/64x48:420:3.y4m" >"$WORK/truncated.y4m"
video() {
    local expect="$1"
    shift
    local rc=0
    "${WRAPPER[@]}" "$BUILD/skarvel" --quiet "$@" 2>"$WORK/log" || rc=$?
    if [ "$rc" -ne "$expect" ]; then
        cat "$WORK/log" >&2
        echo "failed (exit $rc, expected $expect): skarvel $*" >&2
        exit 1
    fi
    runs=$((runs + 1))
}
WRAPPER=("$@")
for clip in "${CLIPS[@]}"; do
    for mode in 0 1 2 3; do
        video 0 --mode "$mode" "$WORK/$clip" "$WORK/out.y4m"
    done
    video 0 --display 2 --halve --average-pairs "$WORK/$clip" "$WORK/out.y4m"
    video 0 --display 4 --mode 3 --threads 1 "$WORK/$clip" "$WORK/out.y4m"
done
video 1 "$WORK/truncated.y4m" "$WORK/out.y4m"
echo "host matrix: $runs runs of skarvel-host and skarvel clean${1:+ under $1}"
