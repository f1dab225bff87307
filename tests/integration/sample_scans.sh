#!/usr/bin/env bash
# The three sample PCs, each with the sample database, scanned end to end:
# each finds its handful of updates and declines its few candidates, the
# device list has no [Errors], and the generated part of every sample is in
# step with its tables (scripts/make-sample-machines.py).
set -euo pipefail
vxsim=$1/vxsim
root=$2
vantrix=$(cd "$1/../.." && pwd)/src/app/vantrix
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

python3 "$root/scripts/make-sample-machines.py" --check || fail "generated sample devices out of date"

"$vxsim" samples >"$tmp/samples.txt"
for sample in desktop-win10-x64 laptop-win7-x86 desktop-winxp-x86; do
  grep -qx "$sample" "$tmp/samples.txt" || fail "vxsim samples does not list $sample"
  "$vxsim" create "$tmp/$sample" "$sample" >/dev/null || fail "create $sample"
  "$vantrix" --machine "$tmp/$sample" scan --json >"$tmp/$sample.json" || fail "scan $sample exit $?"
  base=$("$vantrix" --machine "$tmp/$sample" info --json |
         python3 -c 'import json,sys; print(json.load(sys.stdin)["BaseDir"])')
  cp "$base/Devices.ini" "$tmp/$sample-Devices.ini"
done

python3 - "$tmp" <<'PY' || fail "scan results"
import json, os, sys
tmp = sys.argv[1]

# (device, package) offered and (device, status) declined, per sample.
EXPECTED = {
    "desktop-win10-x64": (
        [
            ("PCI Encryption/Decryption Controller", "amd-psp-5.17.0.0-x64.zip"),
            ("High Definition Audio Controller", "amd-starship-16.9.3547.7325-x64.7z"),
            ("High Definition Audio Controller", "nvidia-gp106-6.50.1940.9759-x64.zip"),
            ("Intel(R) Wi-Fi 6 AX200 160MHz", "intel-wi-6.79.505.4051-x64.zip"),
            ("Intel(R) Wireless Bluetooth(R)", "intel-ax200-23.21.7119-x64.7z"),
            ("Logitech HD Webcam C270", "logitech-webcam-5.28.1971.2934-x64.zip"),
            ("NVIDIA High Definition Audio", "nvidia-high-22.9.1252.6488-x64.zip"),
            ("Realtek High Definition Audio", "realtek-high-7.64.1526.4814-x64.zip"),
            ("USB Audio Device", "logitech-webcam-5.28.1971.2934-x64.zip"),
            ("USB Composite Device", "logitech-webcam-5.28.1971.2934-x64.zip"),
        ],
        [
            ("AMD SATA Controller", "Vendor"),
            ("NVIDIA GeForce GTX 1060 6GB", "VerDots"),
            ("Realtek PCIe GbE Family Controller", "VerDots"),
            ("Standard SATA AHCI Controller", "Vendor"),
        ],
    ),
    "laptop-win7-x86": (
        [
            ("Conexant 20585 SmartAudio HD", "conexant-smartaudio-4.119.0.64-x86.zip"),
            ("Intel(R) Centrino(R) Advanced-N 6200 AGN", "intel-centrino-15.16.0.2-x86.zip"),
            ("Intel(R) Core(TM) Processor Reserved - 2D13", "intel-1st-26.88.1119-x86.zip"),
            ("Intel(R) HD Graphics", "intel-hd-graphics-8.15.10.2869-x86.zip"),
            ("Intel(R) Management Engine Interface", "intel-mei-7.1.21.1134-x86.zip"),
            ("PCI-Standard-Host-CPU-Brücke", "intel-core-12.35.9333-x86.zip"),
            ("USB-Eingabegerät", "lenovo-mouse-19.98.3940-x86.7z"),
        ],
        [
            ("Intel(R) Display-Audio", "Vendor"),
            ("ThinkPad Bluetooth with Enhanced Data Rate II", "VerDots"),
            ("ThinkPad UltraNav Pointing Device", "VerDots"),
        ],
    ),
    "desktop-winxp-x86": (
        [
            ("Intel(R) 82945G Express Chipset Family", "intel-gma950-6.14.10.5009-x86.zip"),
            ("Realtek High Definition Audio", "realtek-hd-audio-5.10.0.6305-x86.zip"),
            ("Realtek RTL8139 Family PCI Fast Ethernet NIC", "realtek-rtl8139-5.728.0618.2008-x86.zip"),
            ("SM Bus Controller", "intel-chipset-9.1.1.1025-x86.zip"),
        ],
        [
            ("HP LaserJet 1020", "VerDots"),
            ("Intel(R) 945G/945GZ/945P/945PL Memory Controller Hub - 2770", "Vendor"),
            ("USB Human Interface Device", "VerDots"),
        ],
    ),
}

problems = []
for sample, (updates, declined) in EXPECTED.items():
    d = json.load(open(os.path.join(tmp, sample + ".json")))
    if d["status"] != "finished":
        problems.append(f"{sample}: status {d['status']}")
        continue
    got_u = sorted((u["DeviceName"], u["PackageName"]) for u in d["updates"])
    got_d = sorted((x["DeviceName"], x["Status"]) for x in d["declined"])
    if got_u != sorted(updates):
        problems.append(f"{sample}: updates {got_u}")
    if got_d != sorted(declined):
        problems.append(f"{sample}: declined {got_d}")
    if not (4 <= len(got_u) <= 10 and len(got_d) >= 3):
        problems.append(f"{sample}: not a realistic handful ({len(got_u)} updates, {len(got_d)} declined)")
    with open(os.path.join(tmp, sample + "-Devices.ini"), encoding="utf-8-sig") as f:
        text = f.read()
    errors = text.split("[Errors]", 1)[1].split("[", 1)[0].split()
    if errors != ["Dump=0"]:
        problems.append(f"{sample}: device list errors {errors}")
if problems:
    print("\n".join(problems))
    sys.exit(1)
PY
echo "sample scans: ok"
