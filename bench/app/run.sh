#!/bin/sh
# Builds the optimised benchmark and compares the packing run and the restore with tar -cjf/-xjf.
#   bench/app/run.sh [seed] [repeats]
set -e
cd "$(dirname "$0")/../.."
cmake --preset release -B build/bench-rel >/dev/null
cmake --build build/bench-rel --target app_bench -j2
exec build/bench-rel/bench/app/app_bench "$@"
