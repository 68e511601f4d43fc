#!/usr/bin/env bash
# Configures and builds into build/ (programs in build/bin).
#   scripts/build.sh             everything: programs, tests and benchmarks
#   scripts/build.sh TARGET...   only those targets (and what they need)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
if [[ $# -gt 0 ]]; then
  targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$root/build" -j"$(nproc)" "${targets[@]}"
else
  cmake --build "$root/build" -j"$(nproc)"
fi
