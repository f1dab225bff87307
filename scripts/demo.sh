#!/usr/bin/env bash
# The main job on the built-in sample PC: a fresh simulated machine made
# from the sample (with the sample driver database in its BaseDir), its
# facts, then a scan that prints the offered driver updates.
set -euo pipefail
cd "$(dirname "$0")/.."
sample=${1:-desktop-win10-x64}
machine=build/demo-machine
cmake --preset linux >/dev/null
cmake --build --preset linux --target vxsim vantrix >/dev/null
rm -rf "$machine"
build/linux/tools/vxsim/vxsim create "$machine" "$sample"
build/linux/src/app/vantrix --machine "$machine" info
echo
build/linux/src/app/vantrix --machine "$machine" scan
echo
echo "Why a device got (or did not get) its offer: build/linux/src/app/vantrix --machine $machine explain DEVICE"
