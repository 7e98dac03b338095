#!/usr/bin/env bash
# Builds the release preset, writes two 50 MB samples (random bytes, which no compressor can
# shrink, and word text) and zips each with TZipWriter and with Info-ZIP's zip -6 in the same
# run. Prints the times, the sizes, our throughput as a share of zip's and our size against zip's.
#   bench/zip/run.sh [megabytes] [repetitions]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/zip-rel"
mb="${1:-50}"
reps="${2:-3}"
command -v zip >/dev/null || { echo "zip is not installed"; exit 1; }

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset release -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target zip_bench -j2 >/dev/null

work="$build/zip-bench"
mkdir -p "$work"
random="$work/random.bin"
text="$work/text.txt"
bytes=$((mb * 1000000))
[[ "$(stat -c %s "$random" 2>/dev/null || echo 0)" == "$bytes" ]] || head -c "$bytes" /dev/urandom > "$random"
if [[ "$(stat -c %s "$text" 2>/dev/null || echo 0)" != "$bytes" ]]; then
  python3 - "$text" "$bytes" <<'PY'
import random, sys
random.seed(7)
words = ("zelk interface userdata account settings addon restore package window frame "
         "texture sound macro binding chat channel guild raid party spell item quest map").split()
out, size = [], 0
target = int(sys.argv[2])
while size < target:
    line = " ".join(random.choice(words) for _ in range(random.randint(4, 14))) + " = %d\r\n" % random.randint(0, 99999)
    out.append(line); size += len(line)
open(sys.argv[1], "w", newline="").write("".join(out)[:target])
PY
fi

best_zip() {  # best wall time of zip -6 over the repetitions
  local best="" t
  for _ in $(seq "$reps"); do
    rm -f "$2"
    local s=$(date +%s.%N)
    zip -6 -q -j -X "$2" "$1"
    t=$(echo "$(date +%s.%N) - $s" | bc -l)
    if [[ -z "$best" ]] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
  done
  echo "$best"
}

printf "%-8s %10s %12s %10s %12s %12s %10s\n" sample zip_s zip_bytes ours_s ours_bytes speed_ratio size_ratio
for sample in "$random" "$text"; do
  zt=$(best_zip "$sample" "$work/ref.zip")
  zb=$(stat -c %s "$work/ref.zip")
  read -r ot ob < <("$build/bench/zip/zip_bench" "$sample" "$work/ours.zip" "$reps")
  printf "%-8s %10.3f %12d %10.3f %12d %12.3f %10.4f\n" "$(basename "$sample" | cut -d. -f1)" "$zt" "$zb" "$ot" "$ob" \
    "$(echo "$zt / $ot" | bc -l)" "$(echo "$ob / $zb" | bc -l)"
done
echo "speed_ratio = zip time / our time (goal >= 0.9); size_ratio = our size / zip size (goal <= 1.01)"
