#!/usr/bin/env bash
# Page cipher throughput against openssl's AES-256-CFB on 4096-byte buffers, measured in the same
# run, both per second of processor time (openssl speed's default). Builds nothing: point it at
# a release build (default build/cipher-rel), e.g.
#   cmake --preset release -B build/cipher-rel && cmake --build build/cipher-rel --target cipher_bench
#   bench/cipher/run.sh [build-dir] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/cipher-rel}
seconds=${2:-3}
bench=$build/bench/cipher/cipher_bench
[[ -x $bench ]] || { echo "no $bench: build the cipher_bench target of a release build first" >&2; exit 1; }

# openssl prints thousands of bytes per second; convert to MB/s (10^6 bytes).
openssl_rate() {
  openssl speed -evp aes-256-cfb -bytes 4096 -seconds "$seconds" "$@" 2>/dev/null |
    awk 'tolower($1) == "aes-256-cfb" { v = $NF; sub(/k$/, "", v); printf "%.1f", v / 1000 }'
}

ours=$("$bench" "$seconds")
ssl_enc=$(openssl_rate)
ssl_dec=$(openssl_rate -decrypt)
get() { awk -v k="$1" '$1 == k { print $2 }' <<<"$ours"; }

echo "$ours" | awk '{ printf "%-18s %10.1f MB/s\n", $1, $2 }'
printf '%-18s %10.1f MB/s\n' openssl_encrypt "$ssl_enc" openssl_decrypt "$ssl_dec"
awk -v e="$(get encode)" -v d="$(get decode)" -v oe="$ssl_enc" -v od="$ssl_dec" 'BEGIN {
  printf "encode / openssl encrypt: %.2f (goal >= 0.80)\n", e / oe
  printf "decode / openssl decrypt: %.2f (goal >= 1.50)\n", d / od
}'
