#!/usr/bin/env bash
# The cost of each kind of call on a container's path (plain file calls, the storage file, the
# page file, calls by path, the clock, allocation, copies, checksums, the codec), natively and in
# the Windows build under wine, side by side with the ratio wine / native. Points at the layer
# where the Windows build loses time.
# Usage: TMPDIR=/dev/shm bench/cli/layer_costs.sh [release build dir] [win64 build dir]
#   Build layer_cost_bench in both first (cmake --build --preset release|win64 --target layer_cost_bench).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NATIVE="${1:-$ROOT/build/release}/bench/cli/layer_cost_bench"
WINDOWS="${2:-$ROOT/build/win64}/bench/cli/layer_cost_bench.exe"
GEN="${1:-$ROOT/build/release}/tests/fixtures/make_fake_game"
[[ -x $NATIVE && -f $WINDOWS && -x $GEN ]] || { echo "build layer_cost_bench (both builds) and make_fake_game first" >&2; exit 2; }
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
mkdir "$W/scratch"
# 16 kB of add-on code for the codec line.
"$GEN" --text-sample "$W/text.lua" 1 >/dev/null
head -c 16384 "$W/text.lua" >"$W/text16.lua"
"$NATIVE" "$W/scratch" "$W/text16.lua" >"$W/native"
"$ROOT/scripts/wine-run" "$WINDOWS" "Z:${W//\//\\}\\scratch" "Z:${W//\//\\}\\text16.lua" 2>/dev/null >"$W/wine"
printf "%-40s %12s %12s %8s\n" "ns per call" "native" "wine" "ratio"
paste "$W/native" "$W/wine" | awk -F'\t' '{
  n = split($1, a, " "); m = split($2, b, " "); name = $1; sub(/[ ]+[0-9.]+$/, "", name)
  printf "%-40s %12.1f %12.1f %8.2f\n", name, a[n], b[m], (a[n] > 0 ? b[m] / a[n] : 0)
}'
