#!/usr/bin/env bash
# The console front end's uploads through the real program, against a local
# vantrix-service and its mail sink: the scan's usage snapshot (once per
# installation), and "vantrix report" when the mail goes out, when the mail
# host is dead, and with a comment that is too short.
set -euo pipefail
vxsim=$1/vxsim
vantrix=$(cd "$1/../.." && pwd)/src/app/vantrix
service=$1/../service/vantrix-service
tmp=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$tmp/root" "$tmp/rec"
"$service" --root "$tmp/root" --record "$tmp/rec" --port-file "$tmp/ports" --smtp-port 0 \
  >"$tmp/service.log" 2>&1 &
pid=$!
for _ in $(seq 100); do [ -f "$tmp/ports" ] && break; sleep 0.1; done
http=127.0.0.1:$(sed -n 's/^http=//p' "$tmp/ports")
smtp=127.0.0.1:$(sed -n 's/^smtp=//p' "$tmp/ports")
[ "$http" != 127.0.0.1: ] && [ "$smtp" != 127.0.0.1: ] || fail "service did not start: $(cat "$tmp/service.log")"

# The program's hosts and build values, pointed at the local service.
write_ini() {  # write_ini FILE MAIL_HOST
  printf '[Hosts]\r\nService=%s\r\nSnapshot=%s\r\nMail=%s\r\nCrashReport=%s\r\n\r\n[Build]\r\nPartner=acme\r\nSupportAddress=support@example.invalid\r\nMailAccount=reports@example.invalid\r\nMailPassword=Ab12Cd34\r\n' \
    "$http" "$http" "$2" "$http" >"$1"
}
write_ini "$tmp/service.ini" "$smtp"
# Nothing listens on the discard port of 127.0.0.1: a dead mail host.
write_ini "$tmp/dead.ini" 127.0.0.1:9
export VANTRIX_SERVICE_INI=$tmp/service.ini

"$vxsim" create "$tmp/pc" desktop-win10-x64 >/dev/null
base=$("$vantrix" --machine "$tmp/pc" info --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["BaseDir"])')

# --- The scan uploads its usage snapshot, and only once. ---
"$vantrix" --machine "$tmp/pc" scan >"$tmp/scan.txt" 2>"$tmp/scan.err" || fail "scan exit $?: $(cat "$tmp/scan.err")"
[ -f "$base/snapshot_send" ] || fail "no snapshot_send marker in $base"
[ -f "$base/Snapshot.ini" ] || fail "the sample PC gave no snapshot records"
uploads=("$tmp/rec"/*-POST-_rpc_sendsnapshot.txt)
[ -f "${uploads[0]}" ] || fail "no snapshot upload recorded: $(ls "$tmp/rec")"
[ ${#uploads[@]} -eq 1 ] || fail "${#uploads[@]} snapshot uploads"
grep -q '^Content-Type: multipart/form-data; boundary=' "${uploads[0]}" || fail "not multipart"
grep -q 'Part: name=snapshot_file filename=Snapshot.ini content_type=text/plain' "${uploads[0]}" \
  || fail "no snapshot_file part"
parts=("$tmp/rec"/*-snapshot_file-Snapshot.ini)
cmp -s "${parts[0]}" "$base/Snapshot.ini" || fail "uploaded snapshot differs from Snapshot.ini"
grep -q '^request_type=' "$base/Snapshot.ini" || fail "snapshot without records"
# Without "/START" as first parameter no milestone event goes out.
if ls "$tmp/rec"/*GET-_rpc_sendinstall* >/dev/null 2>&1; then fail "event sent without /START"; fi
# The marker makes later scans leave the snapshot alone.
"$vantrix" --machine "$tmp/pc" scan >/dev/null 2>&1 || fail "second scan exit"
uploads=("$tmp/rec"/*-POST-_rpc_sendsnapshot.txt)
[ ${#uploads[@]} -eq 1 ] || fail "the second scan uploaded again"

# --- vantrix report: sent, with the diagnostics attached. ---
report() { "$vantrix" --machine "$tmp/pc" report --name "Ann Lee" --email ann@example.invalid \
  --driver "Realtek High Definition Audio" "$@"; }
report --comment "The sound stops after a minute." --attach-diagnostics \
  >"$tmp/out.txt" 2>"$tmp/err.txt" || fail "report exit $?: $(cat "$tmp/err.txt")"
grep -qx 'This message was sent, thank you!' "$tmp/out.txt" || fail "no thanks: $(cat "$tmp/out.txt")"
mails=("$tmp/rec"/*-mail.eml)
[ -f "${mails[0]}" ] && [ ${#mails[@]} -eq 1 ] || fail "no single mail recorded: $(ls "$tmp/rec")"
python3 - "${mails[0]}" <<'PY' || fail "mail as received"
import email, io, sys, zipfile
raw = open(sys.argv[1], "rb").read()
assert b"X-Auth-User: reports@example.invalid\r\n" in raw
assert b"X-Envelope-To: support@example.invalid\r\n" in raw
m = email.message_from_bytes(raw)
assert m["From"] == '"Ann Lee" <ann@example.invalid>', m["From"]
subject = m["Subject"]
assert subject.startswith("Vantrix ") and subject.endswith(" acme 10_64: Realtek High Definition Audio"), subject
assert m.get_content_type() == "multipart/mixed", m.get_content_type()
html, attachment = m.get_payload()
assert "The sound stops after a minute." in html.get_payload(decode=True).decode()
assert attachment.get_filename() == "report.zip"
names = zipfile.ZipFile(io.BytesIO(attachment.get_payload(decode=True))).namelist()
assert "Devices.ini" in names, names
PY

# --- A dead mail host: a message, exit 1, and no thanks. ---
set +e
VANTRIX_SERVICE_INI=$tmp/dead.ini report --comment "Long enough comment." >"$tmp/out.txt" 2>"$tmp/err.txt"
rc=$?
set -e
[ $rc -eq 1 ] || fail "dead mail host exit $rc"
grep -q 'the report was not sent' "$tmp/err.txt" || fail "no failure message: $(cat "$tmp/err.txt")"
grep -q 'thank you' "$tmp/out.txt" && fail "thanks after a failed send"

# --- Nine characters of comment are refused before anything is sent. ---
set +e
report --comment "123456789" >"$tmp/out.txt" 2>"$tmp/err.txt"
rc=$?
set -e
[ $rc -eq 2 ] || fail "nine-character comment exit $rc"
grep -q 'vantrix report: ' "$tmp/err.txt" || fail "no refusal message"
mails=("$tmp/rec"/*-mail.eml)
[ ${#mails[@]} -eq 1 ] || fail "a refused or failed report reached the sink"
echo "console telemetry: ok"
