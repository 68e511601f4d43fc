#!/usr/bin/env bash
# Builds Brontal and starts it on the embedded database next to the program,
# creating that database (with demo data) when it is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" Brontal brontal-db
db="$root/build/bin/BR.GDB"
if [[ ! -f "$db" ]]; then
  "$root/build/bin/brontal-db" create "$db" --demo 200
fi
exec "$root/build/bin/Brontal" "$@"
