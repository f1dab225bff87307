# Sourced by the Wine runner and the test command: the prefix kept in the
# build tree, quiet, without Mono/Gecko prompts, and the loader this
# machine can run. Kernels without 32-bit support cannot start Wine's
# 32-bit loader, so the 64-bit one is used directly there.
vx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$vx_root/build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  VX_WINE=wine
else
  VX_WINE=/usr/lib/wine/wine64
fi
export VX_WINE

vx_wine_start() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$VX_WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
  fi
  # A running server and boot before ctest, or ctest's pipes hang on the
  # server that the first test would leave behind.
  wineserver -p
  "$VX_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}

vx_wine_stop() { wineserver -k 2>/dev/null || true; }
