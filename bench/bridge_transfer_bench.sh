#!/usr/bin/env bash
# Card mode against card-image mode: `murmex get` of every message of a full
# 32 MB card, and `murmex put` of the files that fill it, once through the
# emulated bridge (card device, kvcard, the USB access library, the device
# manager, the bridge driver, the emulator) and once straight on the image,
# in the same run. Prints the ratios (lower is better; the goal for get is
# within 2x of image mode).
#   bench/bridge_transfer_bench.sh [BUILD_DIR] [VARIANT] [ROUNDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=card-bench-common.sh
source "$top/bench/card-bench-common.sh"

fill_card "$murmex" card.tmf "$variant"
cp card.tmf blank.tmf
"$murmex" --image card.tmf put pc/* --folder All

image_times=(); bridge_times=(); image_put_times=(); bridge_put_times=()
for r in $(seq "$rounds"); do
  cp blank.tmf viaimage.tmf; cp blank.tmf viabridge.tmf
  t0=$(now); "$murmex" --image viaimage.tmf put pc/* --folder All; t1=$(now)
  image_put_times+=("$(echo "$t1 - $t0" | bc -l)")
  t0=$(now); MURMEX_BRIDGE_EMULATOR="$work/viabridge.tmf" "$murmex" --bridge put pc/* --folder All; t1=$(now)
  bridge_put_times+=("$(echo "$t1 - $t0" | bc -l)")
  cmp -s viaimage.tmf viabridge.tmf || { echo "the two modes wrote different cards"; exit 1; }
  rm -rf viaimage viabridge
  t0=$(now); "$murmex" --image card.tmf get -o viaimage; t1=$(now)
  image_times+=("$(echo "$t1 - $t0" | bc -l)")
  t0=$(now); MURMEX_BRIDGE_EMULATOR="$work/card.tmf" "$murmex" --bridge get -o viabridge; t1=$(now)
  bridge_times+=("$(echo "$t1 - $t0" | bc -l)")
  diff -r viaimage viabridge >/dev/null || { echo "the two modes gave different files"; exit 1; }
done

image=$(best "${image_times[@]}"); bridge=$(best "${bridge_times[@]}")
image_put=$(best "${image_put_times[@]}"); bridge_put=$(best "${bridge_put_times[@]}")
printf 'variant %s, %d files, %d bytes of file data\n' "$variant" "$files" "$payload"
printf 'murmex --image get:   %.3f s\n' "$image"
printf 'murmex --bridge get:  %.3f s  ratio %.2f\n' "$bridge" "$(echo "$bridge / $image" | bc -l)"
printf 'murmex --image put:   %.3f s\n' "$image_put"
printf 'murmex --bridge put:  %.3f s  ratio %.2f\n' "$bridge_put" "$(echo "$bridge_put / $image_put" | bc -l)"
