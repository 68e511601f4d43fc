#!/usr/bin/env bash
# Benchmarks on a fixed data size: a demo database of 100 000 clients, made once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/bin"
db=${BRONTAL_BENCH_DB:-/var/tmp/brontal-bench-100000.fdb}
if [[ ! -f "$db" ]]; then
  "$bin/brontal-db" create "$db" --demo 100000 --seed 1
fi
echo "== raw fetch"; "$bin/bench_fetch" "$db"
for b in "$bin"/bench_*; do
  [[ "$(basename "$b")" == bench_fetch || "$(basename "$b")" == bench_import ]] && continue
  echo "== $(basename "$b")"; "$b" "$db"
done
# The client import makes fresh databases of its own next to the demo database.
echo "== bench_import"; "$bin/bench_import" "$(dirname "$db")"
