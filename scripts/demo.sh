#!/usr/bin/env bash
# The main job on the built-in sample PC: a fresh simulated machine made
# from the sample, then its facts and folders.
set -euo pipefail
cd "$(dirname "$0")/.."
sample=${1:-desktop-win10-x64}
machine=build/demo-machine
cmake --preset linux >/dev/null
cmake --build --preset linux --target vxsim >/dev/null
rm -rf "$machine"
build/linux/tools/vxsim/vxsim create "$machine" "$sample"
build/linux/tools/vxsim/vxsim facts "$machine"
