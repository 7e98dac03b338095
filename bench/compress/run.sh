#!/usr/bin/env bash
# Builds the release preset, writes a text-heavy sample (8 MiB by default) and prints the zlib
# and bzip2 block methods' ratio and throughput next to gzip -6 and bzip2 -9 run on the same
# file in the same run.
#   bench/compress/run.sh [sample file] [repetitions]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/compress-rel"
sample="${1:-}"
reps="${2:-3}"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset release -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target compress_bench -j2 >/dev/null

if [[ -z "$sample" ]]; then
  sample="$build/compress-text-sample.txt"
  if [[ ! -s "$sample" ]]; then
    cmake --build "$build" --target make_fake_game -j2 >/dev/null
    "$build/tests/fixtures/make_fake_game" --text-sample "$sample" 8 >/dev/null
  fi
fi
"$build/bench/compress/compress_bench" "$sample" "$reps"
