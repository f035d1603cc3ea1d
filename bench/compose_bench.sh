#!/usr/bin/env bash
# Composing large attachments against coreutils' base64 of the same bytes,
# measured in the same run: time ratio and peak memory of both.
set -euo pipefail
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
BUILD=${1:-build}
CLI=$(realpath "$BUILD/quillory-cli")
WORK=$(realpath "$BUILD")/bench-work
rm -rf "$WORK" && mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
printf '<html><body><p>bench</p></body></html>\n' > page.html

. "$BENCH_DIR/measure.sh"

report() {  # name, our "t m", peer "t m"
  read -r qt qm <<<"$2"
  read -r bt bm <<<"$3"
  awk -v n="$1" -v qt="$qt" -v qm="$qm" -v bt="$bt" -v bm="$bm" 'BEGIN{
    r = (bt > 0) ? qt / bt : 0;
    printf "%-34s quillory %6.2fs %7.1f MiB | base64 -w 76 %6.2fs %7.1f MiB | time ratio %.2f\n",
           n, qt, qm / 1024, bt, bm / 1024, r }'
}

head -c $((256 * 1024 * 1024)) /dev/urandom > big.bin
q=$(measure "$CLI" compose page.html -o out.eml --attach big.bin)
b=$(measure sh -c 'base64 -w 76 big.bin > b64.out')
report "1 attachment of 256 MiB" "$q" "$b"
rm -f big.bin

for i in 1 2 3 4; do head -c $((64 * 1024 * 1024)) /dev/urandom > part$i.bin; done
q=$(measure "$CLI" compose page.html -o out.eml --attach part1.bin --attach part2.bin --attach part3.bin --attach part4.bin)
b=$(measure sh -c 'cat part1.bin part2.bin part3.bin part4.bin | base64 -w 76 > b64.out')
report "4 attachments of 64 MiB" "$q" "$b"
