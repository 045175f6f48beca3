#!/usr/bin/env bash
# Card mode against card-image mode: `murmex get` of every message of a full
# 32 MB card, once through the emulated bridge (card device, kvcard, the USB
# access library, the device manager, the bridge driver, the emulator) and
# once straight from the image, in the same run. Prints the ratio (lower is
# better; the goal is within 2x of image mode).
#   bench/bridge_transfer_bench.sh [BUILD_DIR] [VARIANT] [ROUNDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
variant=${2:-0xFF000022}
rounds=${3:-3}
murmex="$build/bin/murmex"
[ -x "$murmex" ] || { echo "build murmex first ($murmex)"; exit 2; }

work=$(mktemp -d /tmp/murmex-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -n1; }
# shellcheck source=fill-card.sh
source "$top/bench/fill-card.sh"

fill_card "$murmex" card.tmf "$variant"
"$murmex" --image card.tmf put pc/* --folder All

image_times=(); bridge_times=()
for r in $(seq "$rounds"); do
  rm -rf viaimage viabridge
  t0=$(now); "$murmex" --image card.tmf get -o viaimage; t1=$(now)
  image_times+=("$(echo "$t1 - $t0" | bc -l)")
  t0=$(now); MURMEX_BRIDGE_EMULATOR="$work/card.tmf" "$murmex" --bridge get -o viabridge; t1=$(now)
  bridge_times+=("$(echo "$t1 - $t0" | bc -l)")
  diff -r viaimage viabridge >/dev/null || { echo "the two modes gave different files"; exit 1; }
done

image=$(best "${image_times[@]}"); bridge=$(best "${bridge_times[@]}")
printf 'variant %s, %d files, %d bytes of file data\n' "$variant" "$files" "$payload"
printf 'murmex --image get:   %.3f s\n' "$image"
printf 'murmex --bridge get:  %.3f s  ratio %.2f\n' "$bridge" "$(echo "$bridge / $image" | bc -l)"
