#!/usr/bin/env bash
# Import (method 9) and export of the large sample game through the container facade, with and
# without a password, against tar -cjf / tar -xjf (bzip2 -9) of the same folder in the same run.
# Prints CPU seconds (user + system, children included: tar's bzip2), MB/s over CPU time, wall
# seconds, peak resident memory and the throughput ratios (ours / tar). CPU time keeps the ratios
# steady on a shared machine; both sides are single-threaded.
# Usage: bench/fs/import_export_bench.sh [release build dir]   (default build/release)
set -euo pipefail
B=${1:-build/release}
GEN="$B/tests/fixtures/make_fake_game"
BENCH="$B/bench/fs/importexport_bench"
[[ -x $GEN && -x $BENCH ]] || { echo "build make_fake_game and importexport_bench in $B first" >&2; exit 2; }
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
"$GEN" "$W/game" --large >/dev/null
BYTES=$(du -sb --apparent-size "$W/game" | cut -f1)

# Runs a command under /usr/bin/time; sets SECS (CPU), WALL and PEAK (KiB).
run() {
  /usr/bin/time -f "%e %U %S %M" -o "$W/time" "$@" >/dev/null
  read -r WALL USR SYS PEAK <"$W/time"
  SECS=$(awk -v u="$USR" -v s="$SYS" 'BEGIN { printf "%.2f", u + s }')
}
rate() { awk -v b="$BYTES" -v s="$1" 'BEGIN { printf "%.1f", b / (s > 0 ? s : 0.001) / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf "sample data: %d bytes\n" "$BYTES"
run tar -C "$W" -cjf "$W/game.tar.bz2" game
TAR_C=$SECS
printf "%-28s %7.2f s cpu %6.2f s wall %8s MB/s  peak %7d KiB  (%d bytes)\n" "tar -cjf" "$SECS" "$WALL" "$(rate "$SECS")" "$PEAK" \
  "$(stat -c %s "$W/game.tar.bz2")"
mkdir "$W/untar"
run tar -C "$W/untar" -xjf "$W/game.tar.bz2"
TAR_X=$SECS
printf "%-28s %7.2f s cpu %6.2f s wall %8s MB/s  peak %7d KiB\n" "tar -xjf" "$SECS" "$WALL" "$(rate "$SECS")" "$PEAK"

for PW in "" "secret"; do
  LABEL=${PW:+", password"}
  rm -rf "$W/c.cfs" "$W/out"
  run "$BENCH" import "$W/game" "$W/c.cfs" $PW
  IMP=$SECS
  printf "%-28s %7.2f s cpu %6.2f s wall %8s MB/s  peak %7d KiB  (%d bytes)  ratio %s\n" "import method 9$LABEL" "$SECS" "$WALL" \
    "$(rate "$SECS")" "$PEAK" "$(stat -c %s "$W/c.cfs")" "$(ratio "$TAR_C" "$IMP")"
  run "$BENCH" export "$W/c.cfs" "$W/out" $PW
  printf "%-28s %7.2f s cpu %6.2f s wall %8s MB/s  peak %7d KiB  ratio %s\n" "export$LABEL" "$SECS" "$WALL" "$(rate "$SECS")" "$PEAK" \
    "$(ratio "$TAR_X" "$SECS")"
  diff -r "$W/game" "$W/out/game" >/dev/null || { echo "exported tree differs from the original" >&2; exit 1; }
done
