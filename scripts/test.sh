#!/usr/bin/env bash
# Builds everything and runs every test: starts the Firebird server and a mail
# server on 127.0.0.1 for the tests, stops them afterwards, exits non-zero on failure.
#   scripts/test.sh [--sanitize] [CTEST-ARGS...]
# --sanitize also builds the tests with the address and undefined-behaviour sanitizers
# (build-san/) and runs them against the same servers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sanitize=""
if [[ "${1:-}" == "--sanitize" ]]; then sanitize=1; shift; fi
"$root/scripts/setup.sh" --server
"$root/scripts/build.sh"

state=$(mktemp -d /tmp/brontal-test-run-XXXXXX)
fbpid="$state/fbguard.pid"
smtppid=""
cleanup() {
  [[ -n "$smtppid" ]] && kill "$smtppid" 2>/dev/null || true
  "$root/scripts/fbserver.sh" stop "$fbpid" || true
  rm -rf "$state"
}
trap cleanup EXIT

"$root/scripts/fbserver.sh" start "$fbpid"
# Server databases must live where the server's user can write.
export BRONTAL_FB_SERVER=localhost
export BRONTAL_FB_DIR=/var/tmp/brontal-fbtest
install -d -o firebird -g firebird -m 0777 "$BRONTAL_FB_DIR"

export BRONTAL_SMTP_PORT=2525
export BRONTAL_SMTP_DIR="$state/mail"
mkdir -p "$BRONTAL_SMTP_DIR"
/usr/bin/python3 "$root/scripts/smtpsink.py" 127.0.0.1 "$BRONTAL_SMTP_PORT" "$BRONTAL_SMTP_DIR" &
smtppid=$!

(cd "$root/build" && ctest --output-on-failure -j4 "$@")
if [[ -n "$sanitize" ]]; then
  "$root/scripts/sanitize.sh" "$@"
fi
