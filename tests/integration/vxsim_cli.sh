#!/usr/bin/env bash
# vxsim end to end: create, export/import round trip, and clear errors.
set -euo pipefail
bin=$1/vxsim
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$bin" create "$tmp/pc" desktop-win10-x64 >/dev/null
"$bin" facts "$tmp/pc" | grep -q '10.0 build 19045, 64-bit' || fail "facts"

"$bin" export "$tmp/pc" 'HKEY_LOCAL_MACHINE\HARDWARE\DESCRIPTION' "$tmp/hw.reg"
head -c 2 "$tmp/hw.reg" | od -An -tx1 | grep -q 'ff fe' || fail "export is not UTF-16LE with BOM"
"$bin" create "$tmp/pc2" desktop-win10-x64 >/dev/null
printf 'Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION]\r\n' >"$tmp/del.reg"
"$bin" import "$tmp/pc2" "$tmp/del.reg"
"$bin" reg "$tmp/pc2" 'HKLM\HARDWARE\DESCRIPTION' >/dev/null 2>&1 && fail "key not deleted"
"$bin" import "$tmp/pc2" "$tmp/hw.reg"
diff <("$bin" reg "$tmp/pc" 'HKLM\HARDWARE\DESCRIPTION\System\BIOS') \
     <("$bin" reg "$tmp/pc2" 'HKLM\HARDWARE\DESCRIPTION\System\BIOS') || fail "round trip differs"

# Windows opened from the command line stand for other programs' windows.
id=$("$bin" window "$tmp/pc" TForm1 RUVodo) || fail "window"
"$bin" posted "$tmp/pc" | grep -q . && fail "nothing was posted yet"
"$bin" close-window "$tmp/pc" "$id" || fail "close-window"
"$bin" close-window "$tmp/pc" "$id" 2>/dev/null && fail "closed twice"
"$bin" create "$tmp/pc7" laptop-win7-x86 >/dev/null
"$bin" facts "$tmp/pc7" | grep -q '6.1 build 7601, 32-bit' || fail "win7 facts"
"$bin" facts "$tmp/pc7" | grep -q 'C:\\Program Files\\Vantrix' || fail "win7 program folder"

# Devices: the listing and the device list file the scan reads.
"$bin" devices "$tmp/pc" >"$tmp/devices"
[ "$(wc -l <"$tmp/devices")" -eq 149 ] || fail "devices: $(wc -l <"$tmp/devices") lines"
grep -q 'PCI\\VEN_1022&DEV_1486.*problem 28' "$tmp/devices" || fail "devices: failed device"
grep -q 'USB\\VID_0781&PID_5567.*not present' "$tmp/devices" || fail "devices: past device"
"$bin" devlist "$tmp/pc" "$tmp/Devices.ini" | grep -q '149 devices, 127 listed' || fail "devlist"
grep -q '^UniqueDevices=127' "$tmp/Devices.ini" || fail "devlist file"

# Bad input: each gives a non-zero exit and says what is wrong.
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n"a"=dword:xyz\n' >"$tmp/bad.reg"
out=$("$bin" import "$tmp/pc" "$tmp/bad.reg" 2>&1) && fail "bad .reg accepted"
grep -q 'bad.reg:4:' <<<"$out" || fail "no line number: $out"
out=$("$bin" facts "$tmp/nowhere" 2>&1) && fail "missing machine accepted"
grep -q 'does not exist' <<<"$out" || fail "missing machine: $out"
out=$("$bin" create "$tmp/pc" desktop-win10-x64 2>&1) && fail "create over a machine"
grep -q 'already holds a machine' <<<"$out" || fail "create twice: $out"
out=$("$bin" create "$tmp/pc3" no-such-sample 2>&1) && fail "unknown sample accepted"
grep -q 'sample machine' <<<"$out" || fail "unknown sample: $out"
echo "vxsim ok"
