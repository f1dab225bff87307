#!/usr/bin/env bash
# vantrix-service end to end: every reply the program relies on, the
# records tests assert on, the SMTP sink and the fault switches.
set -euo pipefail
bin=$1/../service/vantrix-service
tmp=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$bin" --help | grep -q 'folder layout' || fail "--help lacks the layout"
"$bin" --root "$tmp/none" 2>/dev/null && fail "missing root accepted"

mkdir -p "$tmp/root/database" "$tmp/root/downloads" "$tmp/rec"
head -c 70000 /dev/urandom >"$tmp/root/database/Drivers64.7z"
head -c 5000 /dev/urandom >"$tmp/root/database/Drivers32-5.7z"
echo 2024-05-06 >"$tmp/root/database/lastupdate.txt"
echo package >"$tmp/root/downloads/1_pkg one.zip"
"$bin" --root "$tmp/root" --record "$tmp/rec" --port-file "$tmp/ports" >"$tmp/out" 2>&1 &
pid=$!
for _ in $(seq 100); do [ -f "$tmp/ports" ] && break; sleep 0.1; done
http=$(sed -n 's/^http=//p' "$tmp/ports")
smtp=$(sed -n 's/^smtp=//p' "$tmp/ports")
grep -q "listening on 127.0.0.1:$http" "$tmp/out" || fail "no listening line"
grep -q "smtp on 127.0.0.1:$smtp" "$tmp/out" || fail "no smtp line"
base="http://127.0.0.1:$http"
get() { curl -s --noproxy '*' "$@"; }

# Database info: success marker, MD5 and address in the first line.
for case in "64 10 Drivers64.7z" "64 5 Drivers64.7z" "32 5 Drivers32-5.7z"; do
  set -- $case
  reply=$(get "$base/rpc/getdatabasecxw?arch=$1&os=$2")
  md5=$(md5sum "$tmp/root/database/$3" | cut -d' ' -f1)
  grep -qF '"ok":1,"error":0,"url":"' <<<"$reply" || fail "no success marker: $reply"
  grep -qF "\"file_hash\":\"$md5\"" <<<"$reply" || fail "wrong hash: $reply"
  url=$(sed 's/.*"url":"\([^"]*\)".*/\1/; s#\\/#/#g' <<<"$reply")
  cmp -s <(get "$url") "$tmp/root/database/$3" || fail "archive differs: $url"
done
get "$base/rpc/getdatabasecxw?arch=32&os=10" | grep -q '"ok":0' || fail "no database must say so"
get "$base/rpc/getlastupdatecxw" | grep -qF '"date":"2024-05-06"' || fail "last update"
[ "$(get "$base/downloads/1_pkg%20one.zip")" = package ] || fail "download with a blank"
[ "$(get -o /dev/null -w '%{http_code}' "$base/downloads/missing.zip")" = 404 ] || fail "missing 404"
[ "$(get -o /dev/null -w '%{http_code}' --path-as-is "$base/../../etc/passwd")" = 404 ] || fail "escape"

# Events and uploads are recorded one file each.
get "$base/rpc/sendinstall?partner=acme-scan&build=4.0" | grep -q OK || fail "sendinstall"
get "$base/rpc/senduninstall?partner=acme&build=4.0" | grep -q OK || fail "senduninstall"
echo snapshot >"$tmp/Snapshot.ini"
get -F "snapshot_file=@$tmp/Snapshot.ini;type=text/plain" "$base/rpc/sendsnapshot" | grep -q OK \
  || fail "sendsnapshot"
[ "$(get -o /dev/null -w '%{http_code}' -F "file=@$tmp/Snapshot.ini" "$base/rpc/sendsnapshot")" = 400 ] \
  || fail "snapshot without its field"
get -F "file=@$tmp/Snapshot.ini;type=text/plain" "$base/rpc/senddriverstats" | grep -q OK \
  || fail "senddriverstats"
grep -l '^GET /rpc/sendinstall?partner=acme-scan&build=4.0' "$tmp/rec"/*.txt >/dev/null \
  || fail "sendinstall not recorded"
part=$(grep -h '^Part: name=snapshot_file' "$tmp/rec"/*POST*sendsnapshot*.txt | sed 's/.* file=//')
cmp -s "$tmp/rec/$part" "$tmp/Snapshot.ini" || fail "snapshot part not stored"

# SMTP: authenticated mail lands as .eml.
printf 'Subject: problem\r\n\r\nIt broke.\r\n' >"$tmp/mail.txt"
curl -s --url "smtp://127.0.0.1:$smtp" --mail-from user@pc --mail-rcpt support@vantrix \
  --user reporter:secret --upload-file "$tmp/mail.txt" || fail "smtp send"
eml=$(ls "$tmp/rec"/*-mail.eml)
grep -q 'X-Auth-User: reporter' "$eml" || fail "no auth user"
grep -q 'X-Envelope-To: support@vantrix' "$eml" || fail "no recipient"
grep -q 'It broke.' "$eml" || fail "no body"

# Faults: from the fault file (read per request) and from the query.
echo '/downloads/=status:500' >"$tmp/root/faults.txt"
[ "$(get -o /dev/null -w '%{http_code}' "$base/downloads/1_pkg%20one.zip")" = 500 ] || fail "fault file"
rm "$tmp/root/faults.txt"
[ "$(get -o /dev/null -w '%{http_code}' "$base/downloads/1_pkg%20one.zip")" = 200 ] || fail "fault kept"
get -D - -o /dev/null "$base/database/Drivers64.7z?vxfault=no-length" | grep -qi 'transfer-encoding: chunked' \
  || fail "no-length"
size=$(get -o /dev/null -w '%{size_download}' "$base/database/Drivers64.7z?vxfault=short" || true)
[ "$size" = 35000 ] || fail "short body: $size"
[ "$(get -o /dev/null -m 1 -w '%{http_code}' "$base/database/Drivers64.7z?vxfault=stall:5" || true)" = 200 ] \
  || fail "stall"
echo ok
