#!/usr/bin/env bash
# The README's main job (scripts/demo.sh) on the build under test: the
# sample PC, the local service with newer databases, the database update
# through it, the scan; and the service is gone afterwards.
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

# The trap ended the service.
if pgrep -f -- "--root $demo/demo-service" >/dev/null; then fail "service still running"; fi
echo "demo ok"
