#!/usr/bin/env bash
# Builds the PPMd fuzz target with clang (libFuzzer, ASan, UBSan) and runs it.
#   tests/cfs/codecs/ppmd/fuzz/run.sh [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/../../../../.." && pwd)"
out="$root/build/ppmd-fuzz"
mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$root" \
  "$root"/cfs/codecs/ppmd/*.cpp "$root/tests/cfs/codecs/ppmd/fuzz/PpmdFuzz.cpp" -o "$out/ppmd_fuzz"
"$out/ppmd_fuzz" -max_total_time="${1:-300}" -max_len=8192 -rss_limit_mb=4096 "$out/corpus"
