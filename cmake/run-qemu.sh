#!/bin/sh
# Runs a 32-bit Linux program under qemu-user as one of the three processors the
# plug-in tells apart, and tells the tests which kernel set that processor gets.
#   pentium2  no SSE, no 3DNow!: the reference set on the x87
#   athlon    3DNow! without SSE
#   pentium3  SSE
case "${SKARVEL_QEMU_CPU:-pentium2}" in
    pentium2) cpu=pentium2 kind=0 ;;
    athlon) cpu=athlon,-sse,-sse2 kind=1 ;;
    pentium3) cpu=pentium3 kind=2 ;;
    *) echo "run-qemu.sh: unknown processor '$SKARVEL_QEMU_CPU'" >&2; exit 2 ;;
esac
# run-qemu.sh --expected-kind: only say which set the processor gets.
if [ "$1" = "--expected-kind" ]; then
    echo "$kind"
    exit 0
fi
SKARVEL_EXPECTED_CPU_KIND=$kind
export SKARVEL_EXPECTED_CPU_KIND
exec qemu-i386 -cpu "$cpu" "$@"
