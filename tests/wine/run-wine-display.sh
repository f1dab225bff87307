#!/usr/bin/env bash
# Runs one Windows program under Wine on the display of the caller (the
# window tests run it inside xvfb-run). Wine's desktop process binds to the
# display it was started with, so this uses a prefix of its own and a
# server that lives only as long as the program: the shared prefix's
# server was started without a display and cannot show windows.
#   run-wine-display.sh PREFIX PROGRAM [ARGS...]
set -uo pipefail
export WINEPREFIX=$1
shift
source "$(dirname "$0")/wine-env.sh"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$VX_WINE" wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
"$VX_WINE" "$@" </dev/null
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
exit $rc
