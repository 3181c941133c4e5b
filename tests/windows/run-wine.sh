#!/usr/bin/env bash
# Runs Windows programs for the tests under wine, in the private prefix named by WINEPREFIX.
#   run-wine.sh prefix            creates the prefix once, without dialogs
#   run-wine.sh run PROGRAM ARGS  runs a program there, killed if it hangs
#   run-wine.sh run-display PROGRAM ARGS
#                                 the same on a virtual display of its own, for windows; its prefix
#                                 must be one that no run without a display uses
set -euo pipefail
: "${WINEPREFIX:?}" "${QUOLBANE_WINE64:?}" "${QUOLBANE_WINESERVER:?}"
# No display unless asked for: wine must not try to show anything.
unset DISPLAY WAYLAND_DISPLAY

case "$1" in
prefix)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        timeout 180 "$QUOLBANE_WINE64" wineboot -i
        # A program that crashes on a display ends at once, with no dialog waiting for a click.
        timeout 60 "$QUOLBANE_WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            >/dev/null
        # wineboot returns before the registry is written out; wait for the server to finish.
        timeout 60 "$QUOLBANE_WINESERVER" -w
    fi
    test -f "$WINEPREFIX/system.reg"
    ;;
run)
    shift
    timeout -k 10 150 "$QUOLBANE_WINE64" "$@"
    ;;
run-display)
    shift
    : "${QUOLBANE_XVFB_RUN:?}"
    # The prefix's wine processes end before the display does, so none loses its connection.
    # shellcheck disable=SC2016
    timeout -k 10 150 "$QUOLBANE_XVFB_RUN" -a bash -c '"$QUOLBANE_WINE64" "$@" && status=0 || status=$?
        "$QUOLBANE_WINESERVER" -w
        exit "$status"' run-display "$@"
    ;;
*)
    echo "usage: $0 prefix | run PROGRAM [ARGS...] | run-display PROGRAM [ARGS...]" >&2
    exit 2
    ;;
esac
