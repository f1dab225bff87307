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
python3 - "$tmp/scan.json" <<'PY' || fail "offers after the update"
import json, sys
d = json.load(open(sys.argv[1]))
offers = sorted((u["DeviceName"], u["PackageName"]) for u in d["updates"])
# console_scan.sh's offers of the shipped database, and the new one.
expected = sorted([
    ("NVIDIA High Definition Audio", "nvidia-high-22.9.1252.6488-x64.zip"),
    ("Realtek High Definition Audio", "realtek-high-7.64.1526.4814-x64.zip"),
    ("PCI Encryption/Decryption Controller", "amd-psp-5.17.0.0-x64.zip"),
    ("High Definition Audio Controller", "amd-starship-16.9.3547.7325-x64.7z"),
    ("High Definition Audio Controller", "nvidia-gp106-6.50.1940.9759-x64.zip"),
    ("Intel(R) Wi-Fi 6 AX200 160MHz", "intel-wi-6.79.505.4051-x64.zip"),
    ("Intel(R) Wireless Bluetooth(R)", "intel-ax200-23.21.7119-x64.7z"),
    ("USB Composite Device", "logitech-webcam-5.28.1971.2934-x64.zip"),
    ("Logitech HD Webcam C270", "logitech-webcam-5.28.1971.2934-x64.zip"),
    ("USB Audio Device", "logitech-webcam-5.28.1971.2934-x64.zip"),
    ("NVIDIA GeForce GTX 1060 6GB", "nvidia-geforce-31.0.15.5222-x64.zip"),
])
assert offers == expected, offers
declined = sorted((x["DeviceName"], x["Status"]) for x in d["declined"])
assert declined == [("AMD SATA Controller", "Vendor"),
                    ("Realtek PCIe GbE Family Controller", "VerDots"),
                    ("Standard SATA AHCI Controller", "Vendor")], declined
PY

# The trap ended the service.
if pgrep -f -- "--root $demo/demo-service" >/dev/null; then fail "service still running"; fi
echo "demo ok"
