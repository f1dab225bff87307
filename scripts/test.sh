#!/usr/bin/env bash
# Builds the Linux and Windows targets and runs every test: native unit and
# integration tests, then the Windows test programs under Wine.
#   scripts/test.sh            everything
#   scripts/test.sh --native   only the Linux build and its tests
#   scripts/test.sh --asan     the Linux build with sanitizers
set -euo pipefail
cd "$(dirname "$0")/.."

native=linux
windows=1
case "${1:-}" in
  --native) windows=0 ;;
  --asan) native=linux-asan; windows=0 ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--native|--asan]" >&2; exit 2 ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset "$native" >/dev/null
cmake --build --preset "$native" -j "$jobs"
ctest --preset "$native" -j "$jobs"

if [ "$windows" = 1 ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$jobs"
  # The Windows transfer tests talk to the native replacement service; the
  # device differential test compares with the native simulated machine.
  cmake --preset win64 -DVX_NATIVE_SERVICE_EXE="$PWD/build/linux/tools/service/vantrix-service" \
    -DVX_NATIVE_VXSIM_EXE="$PWD/build/linux/tools/vxsim/vxsim" >/dev/null
  cmake --build --preset win64 -j "$jobs"
  source tests/wine/wine-env.sh
  vx_wine_start
  trap vx_wine_stop EXIT
  ctest --preset win64
fi
echo "all tests passed"
