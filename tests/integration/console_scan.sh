#!/usr/bin/env bash
# The console front end end to end: a sample PC with its sample database,
# scanned through "vantrix scan --json"; the offers and declines of that
# deterministic pair, the replay of a saved device list, explain, info and
# the exit codes.
set -euo pipefail
vxsim=$1/vxsim
vantrix=$(cd "$1/../.." && pwd)/src/app/vantrix
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$vxsim" create "$tmp/pc" desktop-win10-x64 >/dev/null
"$vantrix" --machine "$tmp/pc" scan --json >"$tmp/scan.json" || fail "scan exit $?"

python3 - "$tmp/scan.json" "$(dirname "$0")/expected_scans.json" <<'PY' || fail "scan result"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["status"] == "finished", d["status"]
# The sample PC's failed crypto coprocessor, the webcam's three functions and
# the audio, wireless and Bluetooth parts; sample_scans.sh checks all samples.
expected = json.load(open(sys.argv[2], encoding="utf-8"))["desktop-win10-x64"]
offers = sorted([u["DeviceName"], u["PackageName"]] for u in d["updates"])
assert offers == sorted(expected["updates"]), offers
assert d["found"] == 10, d["found"]
keys = list(d["updates"][0].keys())
assert keys[:4] == ["DeviceName", "FName", "PackageName", "AltFName"], keys
assert keys[-2:] == ["IsPending", "IsSystemDriver"], keys
declined = sorted([x["DeviceName"], x["Status"]] for x in d["declined"])
assert declined == sorted(expected["declined"]), declined
PY

base=$("$vantrix" --machine "$tmp/pc" info --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["BaseDir"])')
[ -f "$base/Scan.ini" ] || fail "no Scan.ini in BaseDir $base"
ls "$base"/*.pre >/dev/null || fail "no .pre files"

# A support engineer's replay: the saved list on another (empty) PC.
cp "$base/Devices.ini" "$tmp/saved-Devices.ini"
"$vxsim" create "$tmp/pc2" desktop-win10-x64 >/dev/null
"$vantrix" --machine "$tmp/pc2" scan --device-list "$tmp/saved-Devices.ini" --json >"$tmp/replay.json" \
  || fail "replay exit"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert len(d["updates"]) == 10' "$tmp/replay.json" \
  || fail "replay result"

"$vantrix" --machine "$tmp/pc" explain "GTX 1060" >"$tmp/explain.txt" || fail "explain exit"
grep -q "decision:  VerDots" "$tmp/explain.txt" || fail "explain decision"
grep -q "#1 " "$tmp/explain.txt" || fail "explain candidates"
# The same decision as JSON, and a device the scan has no decision for.
"$vantrix" --machine "$tmp/pc" --json explain "GTX 1060" >"$tmp/explain.json" || fail "explain --json exit"
python3 - "$tmp/explain.json" <<'PY' || fail "explain --json result"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["DeviceDescRaw"] == "NVIDIA GeForce GTX 1060 6GB", d["DeviceDescRaw"]
assert d["Status"] == "VerDots", d["Status"]
assert len(d["candidates"]) >= 2 and all(c["Why"] for c in d["candidates"]), d["candidates"]
PY
set +e
"$vantrix" --machine "$tmp/pc" explain "No Such Device" 2>"$tmp/err.txt"; [ $? -eq 1 ] || fail "unknown device exit"
set -e
grep -q 'no decision for "No Such Device"' "$tmp/err.txt" || fail "unknown device message"

# Exit codes: usage 2, no database 3.
set +e
"$vantrix" --machine "$tmp/pc" scan --bogus 2>/dev/null; [ $? -eq 2 ] || fail "usage exit"
"$vantrix" --machine "$tmp/pc" frobnicate 2>/dev/null; [ $? -eq 2 ] || fail "unknown command exit"
"$vxsim" create "$tmp/bare" desktop-win10-x64 --no-database >/dev/null
"$vantrix" --machine "$tmp/bare" scan 2>"$tmp/err.txt"; [ $? -eq 3 ] || fail "no database exit"
grep -q "update-db" "$tmp/err.txt" || fail "no database message says what to do"
VANTRIX_MACHINE="$tmp/pc" "$vantrix" info >/dev/null || fail "VANTRIX_MACHINE"
set -e
echo "console scan: ok"
