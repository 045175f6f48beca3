#!/usr/bin/env bash
# Format conversion speed: one hour of 44.1 kHz 16-bit stereo, and one hour of
# GSM 6.10, each brought to the voice path's 7221 Hz 16-bit mono by
# `murmex convert-format` and by sox in the same run. Prints the times and
# the ratios (murmex / sox; the goal is 1.0 or less).
#   bench/acm_convert_bench.sh [BUILD_DIR] [SECONDS_OF_SOUND]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
seconds=${2:-3600}
murmex="$build/bin/murmex"
[ -x "$murmex" ] || { echo "build murmex first ($murmex)"; exit 2; }
command -v sox >/dev/null || { echo "sox is needed"; exit 2; }

work=$(mktemp -d /tmp/murmex-acm-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

echo "making $seconds s of test sound..."
sox -n -r 44100 -c 2 -b 16 stereo.wav synth "$seconds" sine 120-3300 sine 3300-120 tremolo 4 60 gain -6
sox -n -r 8000 -c 1 -b 16 narrow.wav synth "$seconds" sine 120-3300 tremolo 4 60 gain -6
sox narrow.wav -e gsm-full-rate gsm.wav

run() {  # label input
  local t0 t1 ours theirs
  t0=$(now); "$murmex" convert-format "$2" ours.wav --rate 7221 --bits 16 --channels 1; t1=$(now)
  ours=$(elapsed "$t0" "$t1")
  t0=$(now); sox "$2" -r 7221 -c 1 -b 16 -e signed-integer theirs.wav; t1=$(now)
  theirs=$(elapsed "$t0" "$t1")
  printf '%-28s murmex %7.2f s   sox %7.2f s   ratio %.2f\n' "$1" "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
}
run "44.1 kHz stereo -> 7221 mono" stereo.wav
run "GSM 6.10 -> 7221 mono" gsm.wav
