#!/usr/bin/env bash
# Starts or stops a Firebird server for the tests, by the guard's own pid.
#   scripts/fbserver.sh start PIDFILE   (prints nothing; exits 0 when it listens)
#   scripts/fbserver.sh stop PIDFILE
set -euo pipefail
action=$1 pidfile=$2

# The packaged server binds to "localhost", which is 127.0.0.1 or ::1 depending on the hosts file.
listening() {
  local a
  for a in 127.0.0.1 ::1; do (echo > "/dev/tcp/$a/3050") 2>/dev/null && return 0; done
  return 1
}

case "$action" in
start)
  if listening; then
    echo "Firebird server already listening on 3050; using it" >&2
    rm -f "$pidfile"
    exit 0
  fi
  install -d -o firebird -g firebird /run/firebird3.0
  # The server keeps its lock files apart: /tmp/firebird belongs to whoever used the embedded
  # engine first (scripts/run.sh, brontal-db), and the server's own user may not use it.
  install -d -o firebird -g firebird -m 0770 /run/firebird3.0/lock
  FIREBIRD_LOCK=/run/firebird3.0/lock \
    start-stop-daemon --start --chuid firebird --background --make-pidfile --pidfile "$pidfile" \
    --exec /usr/sbin/fbguard -- -forever
  for _ in $(seq 1 300); do listening && exit 0; sleep 0.1; done
  echo "Firebird server did not start" >&2
  tail -n 20 /var/log/firebird/*.log 2>/dev/null >&2 || true
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
