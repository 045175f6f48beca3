# Sourced by the card benchmarks, with their arguments [BUILD_DIR] [VARIANT]
# [ROUNDS]: sets build, variant, rounds and murmex, moves into a scratch
# folder that goes away at exit, and offers now, best (the least of its
# arguments) and fill_card.
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

# `fill_card MURMEX IMAGE VARIANT` formats a card image and writes into ./pc
# the files that fill it exactly, as data messages of 40 whole blocks each
# (the name prefix counts), the rest in one last file. Sets files (how many)
# and payload (their bytes).
fill_card() {
  local murmex=$1 image=$2 variant=$3 block free_blocks left blocks name
  "$murmex" format "$image" --variant "$variant"
  read -r block free_blocks < <("$murmex" --image "$image" info --json |
    python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["block_size"], d["free_blocks"])')
  mkdir -p pc
  files=0
  left=$free_blocks
  while [ "$left" -gt 0 ]; do
    blocks=$(( left < 40 ? left : 40 ))
    name=$(printf 'f%03d.bin' "$files")
    head -c $(( blocks * block - 4 - ${#name} - 1 )) /dev/urandom > "pc/$name"
    left=$(( left - blocks ))
    files=$(( files + 1 ))
  done
  payload=$(du -cb pc/* | tail -n1 | cut -f1)
}
