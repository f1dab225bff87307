#!/usr/bin/env bash
# Starts or stops the native vantrix-service for the Windows tests under
# Wine, which cannot start a Linux program themselves. The folder holds
# root/ (served), record/ and ports; the tests find it through
# VX_TEST_SERVICE_DIR.
#   service_fixture.sh start DIR SERVICE_EXE [SMTP_PORT]
# (SMTP_PORT 0 opens the mail sink on a free port; default -1: none)
#   service_fixture.sh stop DIR
set -euo pipefail
cmd=$1 dir=$2
case $cmd in
  start)
    rm -rf "$dir"
    mkdir -p "$dir/root" "$dir/record"
    nohup "$3" --root "$dir/root" --record "$dir/record" --port-file "$dir/ports" \
      --smtp-port "${4:--1}" >"$dir/service.log" 2>&1 </dev/null &
    echo $! >"$dir/pid"
    for _ in $(seq 100); do [ -f "$dir/ports" ] && exit 0; sleep 0.1; done
    echo "vantrix-service did not start: $(cat "$dir/service.log")" >&2
    exit 1
    ;;
  stop)
    [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -f "$dir/pid"
    ;;
esac
