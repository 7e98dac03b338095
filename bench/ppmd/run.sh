#!/usr/bin/env bash
# Builds the release preset, assembles a text-heavy sample of about 8 MiB and prints the PPMd
# methods' throughput and ratio next to bzip2 -9 measured in the same run.
#   bench/ppmd/run.sh [sample file] [repetitions]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/ppmd-rel"
sample="${1:-}"
reps="${2:-3}"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset release -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target ppmd_bench -j2 >/dev/null

if [[ -z "$sample" ]]; then
  sample="$build/ppmd-text-sample.txt"
  if [[ ! -s "$sample" ]]; then
    if cmake --build "$build" --target make_fake_game -j2 >/dev/null 2>&1; then
      "$build/tests/fixtures/make_fake_game" --text-sample "$sample" 8 >/dev/null
    else
      # No fixture tool: licence texts and plain-text documentation, in a fixed order, 8 MiB.
      : > "$sample"
      while IFS= read -r -d '' file; do
        if grep -Iq . "$file" 2>/dev/null; then cat "$file" >> "$sample"; fi
        [[ $(stat -c %s "$sample") -ge $((8 << 20)) ]] && break
      done < <(find /usr/share/common-licenses /usr/share/doc -type f ! -name '*.gz' ! -name '*.bz2' \
                 ! -name '*.xz' ! -name '*.png' ! -name '*.jpg' ! -name '*.gif' ! -name '*.pdf' -print0 | sort -z)
      truncate -s $((8 << 20)) "$sample"
    fi
  fi
fi
"$build/bench/ppmd/ppmd_bench" "$sample" "$reps"
