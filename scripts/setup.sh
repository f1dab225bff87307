#!/usr/bin/env bash
# Takes a Debian 12 machine (as root) to where both targets build and the
# Windows tests run. Idempotent: a second run does nothing slow.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
log() { printf '[setup] %s\n' "$*" >&2; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

packages=(
  build-essential cmake ninja-build ccache pkg-config git file
  libsqlite3-dev sqlite3 libcurl4-openssl-dev libcpp-httplib-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  p7zip-full pci.ids usb.ids tinyproxy curl
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine32:i386 xvfb xauth imagemagick
  tcl dpkg-dev
  clang
)

enable_deb_src() {
  # Derive deb-src entries from the sources the machine already uses, so no
  # mirror name is ever written by us.
  local out=/etc/apt/sources.list.d/vantrix-deb-src.sources
  local list=/etc/apt/sources.list.d/vantrix-deb-src.list
  [ -f "$out" ] || [ -f "$list" ] && return 0
  local f tmp
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    grep -q -E '^URIs:.*debian' "$f" || continue
    grep -q -E '^Types:.*deb-src' "$f" && continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >>"$tmp"
    printf '\n' >>"$tmp"
  done
  if [ -s "$tmp" ]; then
    as_root install -m 644 "$tmp" "$out"
  fi
  : >"$tmp"
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb\s' /etc/apt/sources.list | grep debian | sed -E 's/^deb(\s)/deb-src\1/' >>"$tmp" || true
    if [ -s "$tmp" ] && ! grep -q -E '^deb-src\s' /etc/apt/sources.list; then
      as_root install -m 644 "$tmp" "$list"
    fi
  fi
  rm -f "$tmp"
  apt_updated=0
}

missing_packages() {
  local p name
  for p in "${packages[@]}"; do
    name=$p
    dpkg-query -W -f='${Status}\n' "$name" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    apt_updated=0
  fi
  enable_deb_src
  local missing
  missing=$(missing_packages)
  if [ -n "$missing" ] || [ "${apt_updated:-1}" = 0 ]; then
    log "installing: ${missing:-(source lists only)}"
    as_root apt-get update -qq
    # shellcheck disable=SC2086
    [ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends $missing
  fi
  # The mingw-w64 default thread model lacks std::mutex; the -posix
  # compilers are the ones our toolchain files name explicitly.
}

install_packages
"$here/scripts/build-third-party.sh"
log "ready"
