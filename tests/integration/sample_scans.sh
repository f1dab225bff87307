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

python3 - "$tmp" "$root/tests/integration/expected_scans.json" <<'PY' || fail "scan results"
import json, os, sys
tmp = sys.argv[1]

# (device, package) offered and (device, status) declined, per sample, with
# the sample database.
with open(sys.argv[2], encoding="utf-8") as f:
    EXPECTED = {k: (v["updates"], v["declined"]) for k, v in json.load(f).items()}

problems = []
for sample, (updates, declined) in EXPECTED.items():
    d = json.load(open(os.path.join(tmp, sample + ".json")))
    if d["status"] != "finished":
        problems.append(f"{sample}: status {d['status']}")
        continue
    got_u = sorted([u["DeviceName"], u["PackageName"]] for u in d["updates"])
    got_d = sorted([x["DeviceName"], x["Status"]] for x in d["declined"])
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
