#!/usr/bin/env bash
# Runs Windows programs for the tests under wine, in the private prefix named by WINEPREFIX.
#   run-wine.sh prefix            creates the prefix once, without dialogs
#   run-wine.sh run PROGRAM ARGS  runs a program there, killed if it hangs
set -euo pipefail
: "${WINEPREFIX:?}" "${QUOLBANE_WINE64:?}" "${QUOLBANE_WINESERVER:?}"
# No display: wine must not try to show anything.
unset DISPLAY WAYLAND_DISPLAY

case "$1" in
prefix)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        timeout 180 "$QUOLBANE_WINE64" wineboot -i
        # wineboot returns before the registry is written out; wait for the server to finish.
        timeout 60 "$QUOLBANE_WINESERVER" -w
    fi
    test -f "$WINEPREFIX/system.reg"
    ;;
run)
    shift
    timeout -k 10 150 "$QUOLBANE_WINE64" "$@"
    ;;
*)
    echo "usage: $0 prefix | run PROGRAM [ARGS...]" >&2
    exit 2
    ;;
esac
