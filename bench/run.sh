#!/usr/bin/env bash
# Benchmarks on a fixed data size, on the embedded engine and through the
# Firebird server: a demo database of 100 000 clients and 1 000 000 payments
# over two years, made once for each (the server's through the server, in a
# folder its user can write); then one table of ratios. A server is started
# only when none listens on localhost:3050, and only that one is stopped.
#   BRONTAL_BENCH_DB           the embedded engine's file (default below)
#   BRONTAL_BENCH_SERVER_DIR   the server's folder (default /var/tmp/brontal-bench-srv)
#   BRONTAL_BENCH_ENGINES      "embedded server" (default), or one of them
#   BRONTAL_BENCH_RUNS         alternating runs per comparison (default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/bin"
db=${BRONTAL_BENCH_DB:-/var/tmp/brontal-bench-100000-p1000000.fdb}
srvdir=${BRONTAL_BENCH_SERVER_DIR:-/var/tmp/brontal-bench-srv}
srvdb="localhost:$srvdir/$(basename "$db")"
engines=${BRONTAL_BENCH_ENGINES:-embedded server}
demo=(--demo 100000 --payments 1000000 --seed 1)

state=$(mktemp -d /tmp/brontal-bench-XXXXXX)
out="$state/out"
cleanup() {
  "$root/scripts/fbserver.sh" stop "$state/fbguard.pid" || true
  rm -rf "$state"
}
trap cleanup EXIT

for engine in $engines; do
  case "$engine" in
  embedded)
    [[ -f "$db" ]] || "$bin/brontal-db" create "$db" "${demo[@]}"
    ;;
  server)
    "$root/scripts/fbserver.sh" start "$state/fbguard.pid"
    install -d -o firebird -g firebird -m 0777 "$srvdir"
    [[ -f "$srvdir/$(basename "$db")" ]] || "$bin/brontal-db" create "$srvdb" "${demo[@]}"
    ;;
  *) echo "unknown engine $engine" >&2; exit 2 ;;
  esac
done

# A benchmark that fails (wrong rows, an error) is named at the end; the others still run.
failed=()
run() {
  echo "== $(basename "$1") ($engine)"
  "$@" | tee -a "$out" || failed+=("$(basename "$1") ($engine)")
}
for engine in $engines; do
  if [[ "$engine" == embedded ]]; then path=$db; folder=$(dirname "$db"); else path=$srvdb; folder="localhost:$srvdir"; fi
  echo "==== $engine: $path"
  run "$bin/bench_fetch" "$path"
  for b in "$bin"/bench_*; do
    [[ "$(basename "$b")" == bench_fetch || "$(basename "$b")" == bench_import ]] && continue
    run "$b" "$path"
  done
  # The client import makes fresh databases of its own in the same folder.
  run "$bin/bench_import" "$folder"
done
echo
echo "== ratios, medians of alternating runs: ours against the floor (a bare isc_dsql_fetch loop in C on"
echo "   our lc_ctype) and isql-fb, each timed from after its attach (isql-fb: its run less an empty run's)"
{ echo "work|ours|floor|ours/floor|isql-fb|ours/isql-fb|note"; grep '^RATIO|' "$out" | cut -d'|' -f2-; } | column -t -s'|'
if grep -q '^TRIPS|' "$out"; then
  echo
  echo "== round trips to the server of one post, counted by a relay (bench_posts): the next post of a session,"
  echo "   the session's first (its statements prepared there), the bare statements' minimum and the goal"
  { echo "post|trips|first|minimum|goal"; grep '^TRIPS|' "$out" | cut -d'|' -f2-; } | column -t -s'|'
fi
if ((${#failed[@]})); then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
