#!/usr/bin/env bash
# Starts or stops a Firebird server for the tests, by the guard's own pid.
#   scripts/fbserver.sh start PIDFILE   (prints nothing; exits 0 when it listens)
#   scripts/fbserver.sh stop PIDFILE
set -euo pipefail
action=$1 pidfile=$2

listening() { (echo > /dev/tcp/127.0.0.1/3050) 2>/dev/null; }

case "$action" in
start)
  if listening; then
    echo "Firebird server already listening on 3050; using it" >&2
    rm -f "$pidfile"
    exit 0
  fi
  install -d -o firebird -g firebird /run/firebird3.0
  start-stop-daemon --start --chuid firebird --background --make-pidfile --pidfile "$pidfile" \
    --exec /usr/sbin/fbguard -- -forever
  for _ in $(seq 1 100); do listening && exit 0; sleep 0.1; done
  echo "Firebird server did not start" >&2
  exit 1
  ;;
stop)
  if [[ -s "$pidfile" ]]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$pidfile"
  fi
  ;;
esac
