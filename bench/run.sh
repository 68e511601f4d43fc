#!/usr/bin/env bash
# Benchmarks on a fixed data size: a demo database of 100 000 clients and
# 1 000 000 payments over two years, made once; then one table of ratios.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/bin"
db=${BRONTAL_BENCH_DB:-/var/tmp/brontal-bench-100000-p1000000.fdb}
if [[ ! -f "$db" ]]; then
  "$bin/brontal-db" create "$db" --demo 100000 --payments 1000000 --seed 1
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
echo "== raw fetch"; "$bin/bench_fetch" "$db" | tee -a "$out"
for b in "$bin"/bench_*; do
  [[ "$(basename "$b")" == bench_fetch || "$(basename "$b")" == bench_import ]] && continue
  echo "== $(basename "$b")"; "$b" "$db" | tee -a "$out"
done
# The client import makes fresh databases of its own next to the demo database.
echo "== bench_import"; "$bin/bench_import" "$(dirname "$db")" | tee -a "$out"
echo
echo "== ratios (ours / isql-fb)"
{ echo "work|ours|isql-fb|ratio|note"; grep '^RATIO|' "$out" | cut -d'|' -f2-; } | column -t -s'|'
