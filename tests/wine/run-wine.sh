#!/usr/bin/env bash
# Runs one Windows program under Wine (the test emulator of the Windows build).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
[ -f "$WINEPREFIX/system.reg" ] || vx_wine_start
exec "$VX_WINE" "$@"
