#!/usr/bin/env bash
# Builds the release preset and deflates a 25 MB package-like file (a 2 MB program image
# followed by bzip2 data, as a restore package is a program plus a bzip2 container) and 25 MB
# of add-on text, each with TZipWriter at 1 and 2 threads, with one-stream zlib level 6 (the
# baseline) and with pigz -6 on 2 threads when it is installed, taking turns in one process.
#   bench/zip/chunked.sh [repetitions]
# speed = baseline time / time (goal >= 1.8 at 2 threads); size = deflated bytes against the
# baseline's, in % (goal within 0.2); the chunks_of rows show the size for other chunk sizes
# (* marks the writer's).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build/zip-rel"
reps="${1:-3}"
mb=25

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset release -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" --target zip_chunked_bench -j2 >/dev/null
bench="$build/bench/zip/zip_chunked_bench"

work="$build/zip-chunked-bench"
mkdir -p "$work"
bytes=$((mb * 1000000))
text="$work/addons.txt"
package="$work/package.exe"
if [[ "$(stat -c %s "$text" 2>/dev/null || echo 0)" != "$bytes" ]]; then
  python3 - "$text" "$bytes" <<'PY'
import random, sys
random.seed(11)
words = ("local function frame self event addon settings value texture font anchor point "
         "button spell item macro chat guild raid party quest map tooltip cooldown").split()
out, size, target = [], 0, int(sys.argv[2])
while size < target:
    r = random.random()
    if r < 0.5:
        line = "  %s.%s = %d\r\n" % (random.choice(words), random.choice(words), random.randint(0, 99999))
    elif r < 0.8:
        line = "  [\"%s_%08x\"] = { %d, %.3f, \"%s\" },\r\n" % (random.choice(words), random.getrandbits(32),
                random.randint(0, 9999), random.random(), " ".join(random.choice(words) for _ in range(3)))
    else:
        line = "%s %s(%s)\r\n" % (random.choice(words), random.choice(words), ", ".join(random.choice(words) for _ in range(random.randint(1, 4))))
    out.append(line); size += len(line)
open(sys.argv[1], "w", newline="").write("".join(out)[:target])
PY
fi
if [[ "$(stat -c %s "$package" 2>/dev/null || echo 0)" != "$bytes" ]]; then
  image=/usr/lib/x86_64-linux-gnu/libstdc++.so.6
  [[ -f "$image" ]] || image="$bench"
  # bzip2 makes about 4.4 MB of this text: streams of differently cut copies fill the rest.
  { head -c 2000000 "$image"; for s in 1 2 3 4 5 6; do tail -c +$((s * 1000)) "$text" | bzip2 -9; done; } > "$package.tmp"
  head -c "$bytes" "$package.tmp" > "$package"
  rm -f "$package.tmp"
fi

pigz="$(command -v pigz || true)"
[[ -n "$pigz" ]] || echo "(pigz is not installed: apt-get install -y pigz)"
printf "%-22s %9s %12s %9s %9s\n" run seconds deflated speed size_%
for sample in "$package" "$text"; do
  echo "== $(basename "$sample") ($bytes bytes)"
  "$bench" "$sample" "$work/ours.zip" "$reps" $pigz
done
