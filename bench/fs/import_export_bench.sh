#!/usr/bin/env bash
# Import (method 9) and export of the large sample game through the container facade, with and
# without a password, against tar -cjf / tar -xjf (bzip2 -9) of the same folder in the same run.
# Each line is the best of REPEATS runs by CPU seconds (user + system, children included: tar's
# bzip2); CPU time keeps the ratios steady on a shared machine and both sides are single-threaded.
# Also prints MB/s over CPU time, wall seconds, peak resident memory and the throughput ratios
# (ours / tar). The "compress each file" line is the floor of any import: every file compressed
# on its own in memory, one bzip2 stream per file as the stored-file format demands, no container.
# Usage: bench/fs/import_export_bench.sh [release build dir] [repeats]   (default build/release 3)
set -euo pipefail
B=${1:-build/release}
REPEATS=${2:-3}
GEN="$B/tests/fixtures/make_fake_game"
BENCH="$B/bench/fs/importexport_bench"
[[ -x $GEN && -x $BENCH ]] || { echo "build make_fake_game and importexport_bench in $B first" >&2; exit 2; }
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
"$GEN" "$W/game" --large >/dev/null
BYTES=$(du -sb --apparent-size "$W/game" | cut -f1)

# Runs `prepare` (untimed) then the command under /usr/bin/time REPEATS times; keeps the run with
# the least CPU time in SECS, WALL and PEAK (KiB).
best() {
  local prepare=$1
  shift
  SECS=""
  for ((i = 0; i < REPEATS; i++)); do
    eval "$prepare"
    /usr/bin/time -f "%e %U %S %M" -o "$W/time" "$@" >/dev/null
    local wall usr sys peak secs
    read -r wall usr sys peak <"$W/time"
    secs=$(awk -v u="$usr" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    if [[ -z $SECS ]] || awk -v a="$secs" -v b="$SECS" 'BEGIN { exit !(a < b) }'; then
      SECS=$secs WALL=$wall PEAK=$peak
    fi
  done
}
rate() { awk -v b="$BYTES" -v s="$1" 'BEGIN { printf "%.1f", b / (s > 0 ? s : 0.001) / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
line() { printf "%-34s %7.2f s cpu %6.2f s wall %8s MB/s  peak %7d KiB" "$1" "$SECS" "$WALL" "$(rate "$SECS")" "$PEAK"; }

printf "sample data: %d bytes, best of %d runs each\n" "$BYTES" "$REPEATS"
best 'rm -f "$W/game.tar.bz2"' tar -C "$W" -cjf "$W/game.tar.bz2" game
TAR_C=$SECS
line "tar -cjf"; printf "  (%d bytes)\n" "$(stat -c %s "$W/game.tar.bz2")"
best 'rm -rf "$W/untar"; mkdir "$W/untar"' tar -C "$W/untar" -xjf "$W/game.tar.bz2"
TAR_X=$SECS
line "tar -xjf"; printf "\n"
best ':' "$BENCH" compress-each "$W/game" 9
line "compress each file (floor)"; printf "  ratio %s\n" "$(ratio "$TAR_C" "$SECS")"

for PW in "" "secret"; do
  LABEL=${PW:+", password"}
  best 'rm -f "$W/c.cfs"' "$BENCH" import "$W/game" "$W/c.cfs" $PW
  line "import method 9$LABEL"; printf "  ratio %s  (%d bytes)\n" "$(ratio "$TAR_C" "$SECS")" "$(stat -c %s "$W/c.cfs")"
  best 'rm -rf "$W/out"' "$BENCH" export "$W/c.cfs" "$W/out" $PW
  line "export$LABEL"; printf "  ratio %s\n" "$(ratio "$TAR_X" "$SECS")"
  diff -r "$W/game" "$W/out/game" >/dev/null || { echo "exported tree differs from the original" >&2; exit 1; }
done
