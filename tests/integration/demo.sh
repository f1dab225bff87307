#!/usr/bin/env bash
# The README's main job (scripts/demo.sh) on the build under test: the
# sample PC, the local service with newer databases, the database update
# through it, the scan (the shipped offers and one released since); and the
# service is gone afterwards.
set -euo pipefail
build=$(cd "$1/../.." && pwd)
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The service's databases take a while to make; the demo keeps them for
# the day, here in the build folder.
demo=$build/demo-test
mkdir -p "$demo"
VX_DEMO_BUILD=$build VX_DEMO_DIR=$demo bash "$src/scripts/demo.sh" >"$tmp/out" 2>&1 ||
  { cat "$tmp/out" >&2; fail "demo exit"; }

grep -q '^vantrix-service on 127.0.0.1:[0-9]* serving' "$tmp/out" || fail "no service line"
grep -q '^A new driver database is in place: ' "$tmp/out" || fail "no new database"
grep -q '^== Scan' "$tmp/out" || fail "no scan"

# The sample PC now holds the service's database, dated today.
base=$("$build/src/app/vantrix" --machine "$demo/demo-machine" info --json |
  python3 -c 'import json,sys; print(json.load(sys.stdin)["BaseDir"])')
python3 - "$base" "$(date -u +%F)" <<'PY' || fail "database date"
import glob, sqlite3, sys
dbs = glob.glob(sys.argv[1] + "/Drivers*.db")
assert len(dbs) == 1, dbs
date = sqlite3.connect(dbs[0]).execute("SELECT value FROM settings WHERE name='date'").fetchone()[0]
assert date == sys.argv[2], date
PY

# The scan after the update: the shipped database's offers, plus the
# graphics driver released after it, which wins over the weak match the
# shipped database could only decline for that card.
sed -n '/^== Scan/,$p' "$tmp/out" >"$tmp/scan.txt"
grep -qx '11 updates offered:' "$tmp/scan.txt" || { cat "$tmp/scan.txt" >&2; fail "update count after the update"; }
grep -q 'nvidia-geforce-31.0.15.5222-x64.zip' "$tmp/scan.txt" || fail "no newer graphics driver"
"$build/src/app/vantrix" --machine "$demo/demo-machine" scan --json >"$tmp/scan.json" || fail "scan --json"
python3 - "$tmp/scan.json" "$src/tests/integration/expected_scans.json" <<'PY' || fail "offers after the update"
import json, sys
d = json.load(open(sys.argv[1]))
shipped = json.load(open(sys.argv[2], encoding="utf-8"))["desktop-win10-x64"]
newer = ["NVIDIA GeForce GTX 1060 6GB", "nvidia-geforce-31.0.15.5222-x64.zip"]
# The shipped database's offers, and the new one, which the card had been
# declined for before.
offers = sorted([u["DeviceName"], u["PackageName"]] for u in d["updates"])
assert offers == sorted(shipped["updates"] + [newer]), offers
declined = sorted([x["DeviceName"], x["Status"]] for x in d["declined"])
assert declined == sorted(x for x in shipped["declined"] if x[0] != newer[0]), declined
PY

# The trap ended the service.
if pgrep -f -- "--root $demo/demo-service" >/dev/null; then fail "service still running"; fi
echo "demo ok"
