#!/usr/bin/env bash
# The device inventory's differential test: for every sample PC under
# SAMPLES, the simulated machine writes its device list (native vxsim), the
# sample's devices (Enum and Class keys) and its oem*.inf files go into a
# Wine prefix of this test's own, and the Windows build writes the list
# there through real SetupAPI and compares (devices_diff_test.cpp).
#   devices_diff.sh VXSIM TEST_EXE SAMPLES WORK
# Exit 77 (skipped) without a native vxsim (VXSIM "-").
set -euo pipefail
vxsim=$1 test_exe=$2 samples=$3 work=$4
if [ "$vxsim" = - ]; then
  echo "skipped: no native vxsim (configure with -DVX_NATIVE_VXSIM_EXE=<linux build>/tools/vxsim/vxsim)"
  exit 77
fi
[ -x "$vxsim" ] || { echo "no native vxsim at $vxsim: build the Linux tree first" >&2; exit 1; }
source "$(dirname "$0")/wine-env.sh"
# A prefix of its own: the imported devices would show up in every other
# Wine test otherwise. Its registry is put back to the state after its
# first boot before each sample, so samples never see each other's devices.
export WINEPREFIX="${WINEPREFIX%/}-devices"
clean_reg="$WINEPREFIX/system.reg.vxclean"
clean_user="$WINEPREFIX/user.reg.vxclean"

stop_server() { wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; }
start_server() {
  # Started apart from our output, or ctest waits on the server's pipes.
  wineserver -p </dev/null >/dev/null 2>&1
  "$VX_WINE" wineboot </dev/null >/dev/null 2>&1 || true
}
trap stop_server EXIT

if [ ! -f "$clean_reg" ] || [ ! -f "$clean_user" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$VX_WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
  stop_server
  cp "$WINEPREFIX/user.reg" "$clean_user"
  cp "$WINEPREFIX/system.reg" "$clean_reg"
fi

rm -rf "$work"
mkdir -p "$work"
status=0
ran=0
for sample in "$samples"/*/; do
  sample=${sample%/}
  name=$(basename "$sample")
  [ -f "$sample/registry.reg" ] || continue
  dir="$work/$name"
  mkdir -p "$dir"
  echo "== $name"
  "$vxsim" create "$dir/machine" "$sample" --no-database >/dev/null
  "$vxsim" devlist "$dir/machine" "$dir/sim-Devices.ini"
  "$vxsim" export "$dir/machine" 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum' "$dir/enum.reg"
  "$vxsim" export "$dir/machine" 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class' \
    "$dir/class.reg"
  # The user's number formats (decimal separator of the dates). Wine
  # keeps such overrides only for its own locale and resets them all when
  # the locale name differs, so the name stays Wine's.
  if "$vxsim" export "$dir/machine" 'HKEY_CURRENT_USER\Control Panel\International' \
      "$dir/international-all.reg" 2>/dev/null; then
    iconv -f UTF-16 -t UTF-8 "$dir/international-all.reg" | grep -v '^"LocaleName"=' |
      iconv -f UTF-8 -t UTF-16 >"$dir/international.reg"
  else
    : >"$dir/international.reg"
  fi
  "$vxsim" devices "$dir/machine" | awk '{print $1}' >"$dir/sample-ids.txt"
  # Driver and install dates are local times: Wine's time zone is the
  # machine's (a fixed offset, as the machine facts give it).
  offset=$(sed -n 's/^UtcOffsetMinutes=\(-\{0,1\}[0-9]*\).*/\1/p' "$sample/machine.ini" | head -1)
  offset=${offset:-0}
  sign=-
  [ "$offset" -lt 0 ] && { sign=+; offset=$((-offset)); }
  tz=$(printf 'VXT%s%d:%02d' "$sign" $((offset / 60)) $((offset % 60)))

  stop_server
  cp "$clean_reg" "$WINEPREFIX/system.reg"
  cp "$clean_user" "$WINEPREFIX/user.reg"
  inf_dir="$WINEPREFIX/drive_c/windows/inf"
  mkdir -p "$inf_dir"
  # INF files of an earlier sample go.
  if [ -f "$WINEPREFIX/vx-sample-infs" ]; then
    while read -r f; do rm -f "$inf_dir/$f"; done <"$WINEPREFIX/vx-sample-infs"
  fi
  : >"$WINEPREFIX/vx-sample-infs"
  for inf in "$dir/machine/drive_c/Windows/INF"/oem*.inf; do
    [ -f "$inf" ] || continue
    cp "$inf" "$inf_dir/"
    basename "$inf" >>"$WINEPREFIX/vx-sample-infs"
  done
  export TZ=$tz
  # Import after the boot: when Wine's desktop starts it writes its own
  # monitor's keys again, and the sample's monitor shares its driver key
  # (Control\Class\{4d36e96e-...}\0000).
  start_server
  for reg in enum class international; do
    [ -s "$dir/$reg.reg" ] && "$VX_WINE" regedit /S "Z:$dir/$reg.reg" </dev/null
  done

  if ! VX_DIFF_SIM_INI="Z:$dir/sim-Devices.ini" VX_DIFF_OUT_INI="Z:$dir/wine-Devices.ini" \
      VX_DIFF_SAMPLE_IDS="Z:$dir/sample-ids.txt" "$VX_WINE" "$test_exe" </dev/null; then
    echo "== $name: the lists differ (simulated $dir/sim-Devices.ini, Wine $dir/wine-Devices.ini)"
    status=1
  fi
  ran=$((ran + 1))
done
[ "$ran" -gt 0 ] || { echo "no sample machine under $samples"; exit 1; }
exit $status
