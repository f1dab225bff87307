#!/usr/bin/env bash
# Builds the Windows third-party parts from Debian source packages into a
# cache outside the clone, keyed by source version:
#   $VX_THIRD_PARTY/sqlite-<ver>/{sqlite3.c,sqlite3.h,i686/libsqlite3.a,x86_64/libsqlite3.a}
#   $VX_THIRD_PARTY/7zip-<ver>/src   (interface headers for both targets)
#   $VX_THIRD_PARTY/7zip-<ver>/{i686,x86_64}/7z.dll
# and points $VX_THIRD_PARTY/current.cmake at them. Quick when all is there.
set -euo pipefail

cache=${VX_THIRD_PARTY:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrix-third-party}
mkdir -p "$cache"
log() { printf '[third-party] %s\n' "$*" >&2; }
jobs=$(nproc 2>/dev/null || echo 2)

src_version() {
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2; exit}'
}

fetch_source() { # package dest
  local pkg=$1 dest=$2 work
  work=$(mktemp -d "$cache/.fetch.XXXXXX")
  (cd "$work" && apt-get source -qq "$pkg" >/dev/null 2>&1) || {
    log "apt-get source $pkg failed (is deb-src enabled? run scripts/setup.sh)"
    rm -rf "$work"; return 1; }
  local dir
  dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  rm -rf "$dest"; mv "$dir" "$dest"; rm -rf "$work"
}

build_sqlite() {
  local ver dir
  ver=$(src_version sqlite3)
  [ -n "$ver" ] || { log "no source version for sqlite3"; return 1; }
  dir="$cache/sqlite-${ver//[:+~]/_}"
  if [ ! -f "$dir/x86_64/libsqlite3.a" ]; then
    log "building SQLite $ver"
    mkdir -p "$dir"
    if [ ! -f "$dir/sqlite3.c" ]; then
      fetch_source sqlite3 "$dir/src"
      (cd "$dir/src" && ./configure --quiet >/dev/null && make -s sqlite3.c >/dev/null)
      cp "$dir/src/sqlite3.c" "$dir/src/sqlite3.h" "$dir/"
      rm -rf "$dir/src"
    fi
    local arch
    for arch in i686 x86_64; do
      mkdir -p "$dir/$arch"
      "$arch-w64-mingw32-gcc-posix" -O2 -c "$dir/sqlite3.c" -o "$dir/$arch/sqlite3.o" \
        -DSQLITE_THREADSAFE=1 -DSQLITE_DQS=0 -DSQLITE_DEFAULT_FOREIGN_KEYS=0 \
        -DSQLITE_OMIT_LOAD_EXTENSION
      "$arch-w64-mingw32-ar" rcs "$dir/$arch/libsqlite3.a" "$dir/$arch/sqlite3.o"
      rm -f "$dir/$arch/sqlite3.o"
    done
  fi
  echo "$dir"
}

build_7zip() {
  local ver dir
  ver=$(src_version 7zip)
  [ -n "$ver" ] || { log "no source version for 7zip"; return 1; }
  dir="$cache/7zip-${ver//[:+~]/_}"
  [ -d "$dir/src/CPP" ] || { log "fetching 7-Zip $ver"; mkdir -p "$dir"; fetch_source 7zip "$dir/src"; }
  # One object folder per architecture: the makefiles would otherwise link
  # the x86_64 library from objects left by the i686 build.
  local arch b="$dir/src/CPP/7zip/Bundles/Format7zF"
  for arch in i686 x86_64; do
    [ -f "$dir/$arch/7z.dll" ] && continue
    log "building 7z.dll ($arch) from 7-Zip $ver; takes a few minutes"
    (cd "$b" && make -s -j"$jobs" -f ../../cmpl_gcc.mak IS_MINGW=1 MSYSTEM=1 \
        O="b/mingw-$arch" CROSS_COMPILE="$arch-w64-mingw32-" RC="$arch-w64-mingw32-windres" \
        DISABLE_RAR_COMPRESS=1 >"$dir/build-$arch.log" 2>&1) || {
      log "7z.dll build failed, see $dir/build-$arch.log"; return 1; }
    mkdir -p "$dir/$arch"
    cp "$b/b/mingw-$arch/7z.dll" "$dir/$arch/7z.dll"
  done
  echo "$dir"
}

sqlite_dir=$(build_sqlite)
sevenzip_dir=$(build_7zip)

cat >"$cache/current.cmake.tmp" <<CM
set(VX_SQLITE_DIR "$sqlite_dir")
set(VX_7ZIP_DIR "$sevenzip_dir")
CM
mv "$cache/current.cmake.tmp" "$cache/current.cmake"
log "cache: $cache"
