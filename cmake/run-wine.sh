#!/bin/sh
# Runs a Windows program under Wine, headless, in the prefix named first
# (created on first use): run-wine.sh PREFIX PROGRAM [ARGS...]
WINEPREFIX="$1"
shift
export WINEPREFIX WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml="
# Wine runs on the build machine's own x86-64 processor, which has SSE.
SKARVEL_EXPECTED_CPU_KIND=2
export SKARVEL_EXPECTED_CPU_KIND
ready="$WINEPREFIX/.skarvel-ready"
if [ ! -f "$ready" ]; then
    # Programs started at once wait for the one that builds the prefix.
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$ready" ]; then
        if ! { wineboot -i && wineserver -w; } >/dev/null 2>&1; then
            echo "run-wine.sh: cannot set up the Wine prefix $WINEPREFIX" >&2
            exit 1
        fi
        touch "$ready"
    fi
    exec 9>&-
fi
# A server that outlives its last client by 30 s instead of 3: programs run
# back to back then never meet a server on its way out ("recvmsg: Connection
# reset by peer"). Does nothing when one is running.
wineserver -p30 2>/dev/null
exec wine "$@"
