#!/usr/bin/env bash
# Card transfer speed in card-image mode: `murmex get` of every message of a
# full 32 MB card and `murmex put` of files that fill it, each against a plain
# copy of the card image (cp) in the same run. Prints the ratios (lower is
# better; the goal is within 3x of the plain copy).
#   bench/card_transfer_bench.sh [BUILD_DIR] [VARIANT] [ROUNDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=card-bench-common.sh
source "$top/bench/card-bench-common.sh"

fill_card "$murmex" blank.tmf "$variant"

put_times=(); get_times=(); cp_times=()
for r in $(seq "$rounds"); do
  cp blank.tmf card.tmf
  t0=$(now); "$murmex" --image card.tmf put pc/* --folder All; t1=$(now)
  put_times+=("$(echo "$t1 - $t0" | bc -l)")
  rm -rf back; mkdir back
  t0=$(now); "$murmex" --image card.tmf get -o back; t1=$(now)
  get_times+=("$(echo "$t1 - $t0" | bc -l)")
  t0=$(now); cp card.tmf copy.tmf; t1=$(now)
  cp_times+=("$(echo "$t1 - $t0" | bc -l)")
  "$murmex" --image card.tmf info --json | grep -q '"free_blocks":0,' || { echo "card not full"; exit 1; }
  for f in pc/*; do cmp -s "$f" "back/$(ls back | grep -- "-$(basename "$f")\$")" || { echo "mismatch $f"; exit 1; }; done
done

put=$(best "${put_times[@]}"); get=$(best "${get_times[@]}"); copy=$(best "${cp_times[@]}")
printf 'variant %s, %d files, %d bytes of file data, card image %d bytes\n' "$variant" "$files" "$payload" "$(stat -c %s card.tmf)"
printf 'cp of the image:  %.3f s\n' "$copy"
printf 'murmex put:       %.3f s  ratio %.2f\n' "$put" "$(echo "$put / $copy" | bc -l)"
printf 'murmex get:       %.3f s  ratio %.2f\n' "$get" "$(echo "$get / $copy" | bc -l)"
