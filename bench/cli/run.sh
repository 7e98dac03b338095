#!/usr/bin/env bash
# cfstool as a user runs it, on the real-like game (about 35 MB of add-on code in a few thousand
# files) and on the large sample, against tar + bzip2 measured in the same run:
#   cfstool create OUT GAME --method 9   vs  tar -cjf  (and tar -I pbzip2 -cf beside it)
#   cfstool pack GAME --stub S --out D   vs  tar -cjf  (the whole packing run, dated zip included)
#   cfstool restore PACKAGE DIR --overwrite all  vs  tar -xjf  (every restore is compared with
#                                                               the source by diff -r)
# and the Windows build under wine against the native build on the same create.
# Floor lines: the codec work alone (codec_floor_bench: every file's blocks compressed on their
# own as the container stores them, decompressed again, the packed blocks deflated), CPU seconds
# divided by the thread count. No implementation of the format beats them; where a goal lies
# above its floor, the format's per-file streams, not the engine, keep it out of reach. The
# Windows lines' floor: listing and reading the tree alone (tree_read_floor), natively and under
# wine; what wine adds to that comes on top of any create, whatever the container does.
# Every figure is the median of REPEATS runs, taken in rounds of every command once: wall
# seconds, CPU seconds (user + system, children included) and peak resident memory, with 1 and
# 2 threads side by side (--threads N when cfstool takes it, ZELK_THREADS otherwise). "x" is the
# baseline's wall time over ours: above 1 we are faster. pack and restore run once cfstool has
# those commands (its usage text says so).
#
# Usage: TMPDIR=/dev/shm bench/cli/run.sh [release build dir] [repeats]   (default build/release 3)
#   Build first: cmake --preset release &&
#     cmake --build --preset release --target cfstool make_fake_game codec_floor_bench tree_read_floor
#   For the Windows lines: cmake --preset win64 &&
#     cmake --build --preset win64 --target cfstool tree_read_floor
# Environment:
#   ZELK_BENCH_PROFILES  trees to run: "real-like large" (default); "small" is the default game
#   ZELK_CFSTOOL         the native cfstool (default: <build dir>/tools/cfstool)
#   ZELK_WIN_CFSTOOL     the Windows one (default build/win64/tools/cfstool.exe; skipped without
#                        it or without wine)
#   ZELK_BENCH_STUB      the stub for pack (default build/win64/stub/loader.bin, else a 1 MB
#                        placeholder)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
B=$(cd "${1:-$ROOT/build/release}" && pwd)
REPEATS=${2:-3}
PROFILES=${ZELK_BENCH_PROFILES:-"real-like large"}
CFSTOOL=${ZELK_CFSTOOL:-$B/tools/cfstool}
GEN="$B/tests/fixtures/make_fake_game"
FLOOR="$B/bench/cli/codec_floor_bench"
WIN_CFSTOOL=${ZELK_WIN_CFSTOOL:-$ROOT/build/win64/tools/cfstool.exe}
# Listing and reading the tree alone, both builds (the Windows lines' floor).
READ_FLOOR="$B/bench/cli/tree_read_floor"
WIN_READ_FLOOR="$(dirname "$WIN_CFSTOOL")/../bench/cli/tree_read_floor.exe"
[[ -x $CFSTOOL && -x $GEN ]] || { echo "build cfstool and make_fake_game in $B first" >&2; exit 2; }
[[ $REPEATS =~ ^[1-9][0-9]*$ ]] || { echo "repeats must be a number from 1" >&2; exit 2; }
for tool in tar bzip2 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done
HAVE_PBZIP2=0
command -v pbzip2 >/dev/null && HAVE_PBZIP2=1

W=$(mktemp -d)
WINESERVER_PREFIX=""
cleanup() {
  # The wine server this script made persistent for its prefix.
  if [[ -n $WINESERVER_PREFIX ]]; then WINEPREFIX="$WINESERVER_PREFIX" wineserver -k 2>/dev/null || true; fi
  rm -rf "$W"
}
trap cleanup EXIT

USAGE=$("$CFSTOOL" help 2>&1 || true)
HAVE_PACK=0
grep -q '^  pack ' <<<"$USAGE" && grep -q '^  restore ' <<<"$USAGE" && HAVE_PACK=1
HAVE_THREADS_OPTION=0
grep -q -- '--threads' <<<"$USAGE" && HAVE_THREADS_OPTION=1

# ---- measuring ----------------------------------------------------------------------------------

declare -A SAMPLES  # key -> "wall cpu peakKiB" lines, one per run

# sample KEY COMMAND...: one run under /usr/bin/time; a failing command ends the benchmark, so a
# time is never taken from a run that did not do its work.
sample() {
  local key=$1
  shift
  if ! /usr/bin/time -f "%e %U %S %M" -o "$W/time" "$@" >"$W/out" 2>&1; then
    echo "failed: $*" >&2
    cat "$W/out" >&2
    exit 1
  fi
  local wall usr sys peak
  read -r wall usr sys peak <"$W/time"
  SAMPLES[$key]+="$wall $(awk -v u="$usr" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') $peak"$'\n'
}

# median KEY FIELD (1 wall, 2 cpu, 3 peak KiB)
median() {
  printf '%s' "${SAMPLES[$1]}" | awk -v f="$2" 'NF { print $f }' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { print a - b }'; }

# cell KEY [BASE_KEY]: "wall cpu MiB x" for one column; x = base wall / our wall.
cell() {
  local wall cpu peak x=""
  wall=$(median "$1" 1)
  cpu=$(median "$1" 2)
  peak=$(median "$1" 3)
  [[ -n ${2:-} ]] && x="$(ratio "$(median "$2" 1)" "$wall")x"
  printf "%7.2f %7.2f %7.1f %6s" "$wall" "$cpu" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "$x"
}

# row LABEL KEY1 BASE1 KEY2 BASE2 [NOTE]: the 1-thread and 2-thread columns of one command.
row() {
  printf "%-34s %s   %s  %s\n" "$1" "$(cell "$2" "$3")" "$(cell "$4" "$5")" "${6:-}"
}

# floor_row LABEL KIND BASE: the codec floor of one command (in bench_tree; needs $profile).
floor_row() {
  if [[ -x $FLOOR ]]; then
    row "$1" "$profile/floor-$2-1" "$profile/$3" "$profile/floor-$2-2" "$profile/$3" "cpu / threads, codec alone"
  else
    echo "$1: skipped (build codec_floor_bench)"
  fi
}

header() {
  printf "\n%-34s %-30s   %-30s\n" "$1" "---------- 1 thread -----------" "---------- 2 threads ----------"
  printf "%-34s %7s %7s %7s %6s   %7s %7s %7s %6s\n" "" "wall s" "cpu s" "peakMiB" "x" "wall s" "cpu s" "peakMiB" "x"
}

# cfs KEY T COMMAND ARGS...: one timed run of cfstool with T threads.
cfs() {
  local key=$1 t=$2
  shift 2
  local extra=()
  ((HAVE_THREADS_OPTION)) && extra=(--threads "$t")
  sample "$key" env ZELK_THREADS="$t" "$CFSTOOL" "$@" "${extra[@]}"
}

# floor_samples PROFILE GAME: one run of codec_floor_bench, recorded as the floor rows' samples
# (wall = codec CPU seconds / threads).
floor_samples() {
  local profile=$1 game=$2 c d z t
  "$FLOOR" "$game" 9 >"$W/floor" || { echo "codec_floor_bench failed" >&2; exit 1; }
  c=$(awk '$1 == "compress" { print $2 }' "$W/floor")
  d=$(awk '$1 == "decompress" { print $2 }' "$W/floor")
  z=$(awk '$1 == "deflate" { print $2 }' "$W/floor")
  for t in 1 2; do
    SAMPLES[$profile/floor-create-$t]+="$(awk -v c="$c" -v t="$t" 'BEGIN { print c / t, c }') 0"$'\n'
    SAMPLES[$profile/floor-pack-$t]+="$(awk -v c="$c" -v d="$d" -v z="$z" -v t="$t" \
      'BEGIN { print (c + d + z) / t, c + d + z }') 0"$'\n'
    SAMPLES[$profile/floor-restore-$t]+="$(awk -v d="$d" -v t="$t" 'BEGIN { print d / t, d }') 0"$'\n'
  done
}

# ---- checks of the outputs (never timed) --------------------------------------------------------

# The packing run takes every account entry and add-on folder (dot-names excepted); the restore
# must give back exactly those.
verify_restore() {
  local game=$1 target=$2 entry name iface
  iface=$(find "$target" -maxdepth 1 -iname interface -type d | head -n 1)
  for entry in "$game"/userdata/*; do
    name=${entry##*/}
    diff -r "$entry" "$target/userdata/$name" >/dev/null ||
      { echo "restored userdata/$name differs from the source" >&2; exit 1; }
  done
  for entry in "$game"/Interface/*/; do
    name=$(basename "$entry")
    [[ -n $iface ]] && diff -r "$entry" "$iface/$name" >/dev/null ||
      { echo "restored interface/$name differs from the source" >&2; exit 1; }
  done
}

# A game folder as on the other machine: the client files and empty userdata and Interface.
fresh_target() {
  rm -rf "$1"
  mkdir -p "$1/userdata" "$1/Interface"
  find "$2" -maxdepth 1 -type f -exec cp -p {} "$1/" \;
}

# The restore program out of the dated zip in $W/pack, as $W/package.exe.
unpack_package() {
  local zip package
  zip=$(find "$W/pack" -maxdepth 1 -name '*.zip' | head -n 1)
  [[ -n $zip ]] || { echo "cfstool pack left no zip in its output folder" >&2; exit 1; }
  rm -rf "$W/unzipped" && mkdir "$W/unzipped"
  (cd "$W/unzipped" && unzip -q "$zip")
  package=$(find "$W/unzipped" -type f -name '*.exe' | head -n 1)
  [[ -n $package ]] || { echo "the dated zip holds no restore program" >&2; exit 1; }
  # unzip spells the code page 936 name its own way; the command line wants a plain one.
  mv "$package" "$W/package.exe"
}

# ---- the stub for pack --------------------------------------------------------------------------

STUB=${ZELK_BENCH_STUB:-$ROOT/build/win64/stub/loader.bin}
if [[ ! -f $STUB ]]; then
  STUB="$W/loader.bin"
  { printf 'MZ'; head -c $((1024 * 1024 - 2)) /dev/zero; } >"$STUB"
fi

# ---- one tree -----------------------------------------------------------------------------------

bench_tree() {
  local profile=$1 game="$W/$1/game" t i flag=()
  [[ $profile == small ]] || flag=("--$profile")
  mkdir -p "$W/$profile"
  "$GEN" "$game" "${flag[@]}" >/dev/null
  local bytes files
  bytes=$(find "$game" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  files=$(find "$game" -type f | wc -l)

  # One round runs every command once: this machine's speed drifts by 15% and more over minutes,
  # and rounds put the drift on the baselines and on cfstool alike.
  local package=""
  for ((i = 0; i < REPEATS; i++)); do
    rm -f "$W/t.tar.bz2"
    sample "$profile/tar-c" tar -C "$W/$profile" -cjf "$W/t.tar.bz2" game
    rm -rf "$W/untar" && mkdir "$W/untar"
    sample "$profile/tar-x" tar -C "$W/untar" -xjf "$W/t.tar.bz2"
    if ((HAVE_PBZIP2)); then
      for t in 1 2; do
        rm -f "$W/p.tar.bz2"
        sample "$profile/pbzip2-$t" tar -C "$W/$profile" -I "pbzip2 -p$t -9" -cf "$W/p.tar.bz2" game
      done
    fi
    [[ -x $FLOOR ]] && floor_samples "$profile" "$game"
    for t in 1 2; do
      rm -f "$W/c.cfs"
      cfs "$profile/create-$t" "$t" create "$W/c.cfs" "$game" --method 9
    done
    ((HAVE_PACK)) || continue
    for t in 1 2; do
      rm -rf "$W/pack" && mkdir "$W/pack"
      cfs "$profile/pack-$t" "$t" pack "$game" --stub "$STUB" --out "$W/pack"
    done
    [[ -n $package ]] || { unpack_package; package="$W/package.exe"; }
    for t in 1 2; do
      fresh_target "$W/restored" "$game"
      cfs "$profile/restore-$t" "$t" restore "$package" "$W/restored" --overwrite all
      verify_restore "$game" "$W/restored"
    done
  done
  diff -r "$game" "$W/untar/game" >/dev/null || { echo "tar -xjf gave a different tree" >&2; exit 1; }
  "$CFSTOOL" check "$W/c.cfs" >/dev/null || { echo "cfstool check fails on the created container" >&2; exit 1; }
  local tarBytes cfsBytes
  tarBytes=$(stat -c %s "$W/t.tar.bz2")
  cfsBytes=$(stat -c %s "$W/c.cfs")

  printf "\n== %s: %d files, %.1f MB; tar.bz2 %.2f MB (ratio %.2f), container %.2f MB; median of %d runs\n" \
    "$profile" "$files" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" \
    "$(awk -v b="$tarBytes" 'BEGIN { print b / 1e6 }')" "$(ratio "$bytes" "$tarBytes")" \
    "$(awk -v b="$cfsBytes" 'BEGIN { print b / 1e6 }')" "$REPEATS"
  header "packing"
  row "tar -cjf (baseline)" "$profile/tar-c" "$profile/tar-c" "$profile/tar-c" "$profile/tar-c"
  if ((HAVE_PBZIP2)); then
    row "tar -I 'pbzip2 -pN -9' -cf" "$profile/pbzip2-1" "$profile/tar-c" "$profile/pbzip2-2" "$profile/tar-c"
  else
    echo "tar -I pbzip2: skipped (pbzip2 is not installed)"
  fi
  floor_row "codec floor: create" create tar-c
  row "cfstool create --method 9" "$profile/create-1" "$profile/tar-c" "$profile/create-2" "$profile/tar-c" \
    "goal 1.9x at 2 threads"
  if ((HAVE_PACK)); then
    floor_row "codec floor: pack" pack tar-c
    row "cfstool pack (dated zip)" "$profile/pack-1" "$profile/tar-c" "$profile/pack-2" "$profile/tar-c" "goal >= 1.0x"
  else
    echo "cfstool pack: skipped (this cfstool has no pack command)"
  fi
  header "restoring"
  row "tar -xjf (baseline)" "$profile/tar-x" "$profile/tar-x" "$profile/tar-x" "$profile/tar-x"
  if ((HAVE_PACK)); then
    floor_row "codec floor: restore" restore tar-x
    row "cfstool restore --overwrite all" "$profile/restore-1" "$profile/tar-x" "$profile/restore-2" "$profile/tar-x" \
      "goal >= 1.5x, output checked"
  else
    echo "cfstool restore: skipped (this cfstool has no restore command)"
  fi
}

# ---- the Windows build under wine against the native one ----------------------------------------

# The same container from both builds: the same listing (folders carry the time they were made,
# so their times are left out) and a clean check of every block. (With the clock held, e.g. by
# faketime, the two files are byte-identical; holding it under wine is not reliable enough for
# a script.)
same_output() {
  local mask='$1 ~ /D/ { $2 = ""; $3 = "" } { print }'
  cmp -s <("$CFSTOOL" list "$W/n.cfs" | awk "$mask") <("$CFSTOOL" list "$W/w.cfs" | awk "$mask") &&
    "$CFSTOOL" check "$W/w.cfs" >/dev/null
}

bench_wine() {
  local game="$W/real-like/game" t i
  if [[ ! -f $WIN_CFSTOOL ]] || ! command -v wine >/dev/null; then
    printf "\ncfstool.exe create (wine) / cfstool create (native): skipped (no %s or no wine)\n" "$WIN_CFSTOOL"
    return
  fi
  [[ -d $game ]] || "$GEN" "$game" --real-like >/dev/null
  local prefix=${ZELK_WINEPREFIX:-$ROOT/build/wineprefix}
  # An untimed run creates the prefix when needed; a persistent wine server keeps its start-up
  # out of the timed runs (each still starts a wine process: the "start-up" line).
  env -u TMPDIR "$ROOT/scripts/wine-run" "$WIN_CFSTOOL" help >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -p && WINESERVER_PREFIX=$prefix
  local winGame="Z:${game//\//\\}" winOut="Z:${W//\//\\}\\w.cfs"
  # Wine started with another TMPDIR than its running services takes two seconds to start.
  local winerun=(env -u TMPDIR "$ROOT/scripts/wine-run")
  for ((i = 0; i < REPEATS; i++)); do
    for t in 1 2; do
      rm -f "$W/n.cfs" "$W/w.cfs"
      sample "wine/native-$t" env ZELK_THREADS=$t "$CFSTOOL" create "$W/n.cfs" "$game" --method 9
      sample "wine/wine-$t" env ZELK_THREADS=$t "${winerun[@]}" "$WIN_CFSTOOL" create "$winOut" "$winGame" --method 9
      sample "wine/start-$t" env ZELK_THREADS=$t "${winerun[@]}" "$WIN_CFSTOOL" help
    done
    if [[ -x $READ_FLOOR && -f $WIN_READ_FLOOR ]]; then
      sample "wine/read-native" "$READ_FLOOR" "$game"
      sample "wine/read-wine" "${winerun[@]}" "$WIN_READ_FLOOR" "$winGame"
    fi
  done
  same_output || { echo "cfstool.exe wrote a container different from the native one" >&2; exit 1; }
  printf "\n== Windows build on the real-like tree; median of %d runs; both containers list and check the same\n" "$REPEATS"
  header "create --method 9"
  row "cfstool create (native)" wine/native-1 "" wine/native-2 ""
  row "cfstool.exe create (wine)" wine/wine-1 wine/native-1 wine/wine-2 wine/native-2
  row "cfstool.exe help (wine start-up)" wine/start-1 "" wine/start-2 ""
  for t in 1 2; do
    local native wine
    native=$(median "wine/native-$t" 1)
    wine=$(median "wine/wine-$t" 1)
    printf "cfstool.exe create (wine) / cfstool create (native), %d thread(s): %s (cpu %s; %s less the wine start-up)  goal <= 1.10\n" \
      "$t" "$(ratio "$wine" "$native")" "$(ratio "$(median "wine/wine-$t" 2)" "$(median "wine/native-$t" 2)")" \
      "$(ratio "$(minus "$wine" "$(median "wine/start-$t" 1)")" "$native")"
  done
  echo "(cpu: the wine process only; the wine server's share is not counted)"
  if [[ -z ${SAMPLES[wine/read-wine]:-} ]]; then
    echo "wine floor: skipped (build tree_read_floor in both builds)"
    return
  fi
  row "floor: read the tree (native)" wine/read-native "" wine/read-native ""
  row "floor: read the tree (wine)" wine/read-wine wine/read-native wine/read-wine wine/read-native
  # What wine adds to listing and reading the tree (start-up left out) comes on top of any create.
  local added
  added=$(minus "$(minus "$(median wine/read-wine 1)" "$(median wine/start-1 1)")" "$(median wine/read-native 1)")
  for t in 1 2; do
    printf "wine floor for create, %d thread(s): %s (native create + the %s s wine adds to reading the tree)\n" \
      "$t" "$(ratio "$(awk -v n="$(median "wine/native-$t" 1)" -v a="$added" 'BEGIN { print n + a }')" \
        "$(median "wine/native-$t" 1)")" "$added"
  done
}

printf "cfstool: %s\nthreads: %s; pbzip2: %s; pack/restore: %s; stub for pack: %s\n" "$CFSTOOL" \
  "$( ((HAVE_THREADS_OPTION)) && echo "--threads N" || echo "ZELK_THREADS=N")" \
  "$( ((HAVE_PBZIP2)) && echo yes || echo no)" "$( ((HAVE_PACK)) && echo yes || echo "not in this cfstool")" \
  "$STUB"
for profile in $PROFILES; do bench_tree "$profile"; done
bench_wine
