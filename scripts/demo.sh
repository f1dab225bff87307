#!/usr/bin/env bash
# The main job on the built-in sample PC: a fresh simulated machine made
# from the sample (with the sample driver database in its BaseDir), the
# local service started with newer databases, the database update from it,
# then a scan that prints the offered driver updates.
#
#   scripts/demo.sh [SAMPLE]          (default desktop-win10-x64)
#
# VX_DEMO_BUILD=DIR uses an existing build folder instead of configuring
# and building the "linux" preset, VX_DEMO_DIR=DIR keeps the machine and the
# service's folder there instead of in build/ (the integration test does both).
set -euo pipefail
cd "$(dirname "$0")/.."
sample=${1:-desktop-win10-x64}
build=${VX_DEMO_BUILD:-build/linux}
if [ -z "${VX_DEMO_BUILD:-}" ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target vxsim vantrix vantrix-service dbgen >/dev/null
fi
vxsim=$build/tools/vxsim/vxsim
vantrix=$build/src/app/vantrix
service=$build/tools/service/vantrix-service
dbgen=$build/tools/dbgen/dbgen
demo=${VX_DEMO_DIR:-build}
machine=$demo/demo-machine
root=$demo/demo-service
run=$(mktemp -d)
service_pid=
stop_service() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  rm -rf "$run"
}
trap stop_service EXIT
title() { printf '\n== %s\n' "$*"; }

title "Sample PC ($sample)"
rm -rf "$machine"
mkdir -p "$demo"
"$vxsim" create "$machine" "$sample"
"$vantrix" --machine "$machine" info

title "Local service"
# Databases dated today, so newer than the one the sample PC ships: the
# same offers plus those released since (a graphics driver for the desktop
# sample), so the scan after the update shows what the update brought. Made
# once a day (or when dbgen changed) and reused meanwhile.
today=$(date -u +%F)
if [ "$(cat "$root/database/lastupdate.txt" 2>/dev/null)" != "$today" ] ||
   [ "$dbgen" -nt "$root/database/lastupdate.txt" ]; then
  echo "making the service's databases (dbgen service, dated $today)..."
  rm -rf "$root"
  "$dbgen" service --date "$today" "$root.part" >/dev/null
  mv "$root.part" "$root"
fi
"$service" --root "$root" --port-file "$run/ports" >"$run/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do
  grep -q '^smtp=' "$run/ports" 2>/dev/null && break
  kill -0 "$service_pid" 2>/dev/null || { cat "$run/service.log" >&2; exit 1; }
  sleep 0.1
done
http_port=$(sed -n 's/^http=//p' "$run/ports")
smtp_port=$(sed -n 's/^smtp=//p' "$run/ports")
[ -n "$http_port" ] || { echo "demo: the service did not start" >&2; exit 1; }
# Every host of the program points at the local service, so nothing of
# the demo leaves this machine.
cat >"$run/service.ini" <<EOF
[Hosts]
Service=127.0.0.1:$http_port
Snapshot=127.0.0.1:$http_port
Mail=127.0.0.1:$smtp_port
CrashReport=127.0.0.1:$http_port
EOF
export VANTRIX_SERVICE_INI=$run/service.ini
echo "vantrix-service on 127.0.0.1:$http_port serving $root (databases of $today)"

title "Driver database update"
status=0
"$vantrix" --machine "$machine" update-db || status=$?
if [ "$status" -ne 0 ]; then
  echo "demo: update-db ended with exit code $status" >&2
  exit "$status"
fi

title "Scan"
"$vantrix" --machine "$machine" scan
echo
echo "Why a device got (or did not get) its offer: $vantrix --machine $machine explain DEVICE"
