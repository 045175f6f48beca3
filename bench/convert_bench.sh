#!/usr/bin/env bash
# The whole `murmex convert` on an hour of speech (the test fixture over and
# over), SP and LP, encoding and decoding back, beside codec_bench's figures
# for trc.dll and the bare libopus / codec2 on the same speech in the same run.
#   bench/convert_bench.sh [BUILD_DIR] [REPEATS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
repeats=${2:-359}
murmex="$build/bin/murmex"
[ -x "$murmex" ] && [ -x "$build/bin/codec_bench" ] || { echo "build murmex and codec_bench first"; exit 2; }

work=$(mktemp -d /tmp/murmex-convert-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
sox "$top/tests/fixtures/speech-7221.wav" hour.wav repeat "$repeats"
seconds=$(soxi -D hour.wav)
now() { date +%s.%N; }
timed() { local t0 t1; t0=$(now); "$@"; t1=$(now); echo "$t1 - $t0" | bc -l; }

echo "== codec_bench (trc.dll and the bare codecs, ${seconds%.*} s of speech)"
"$build/bin/codec_bench" "${seconds%.*}" "$top/tests/fixtures/speech-7221.wav"
echo "== murmex convert, whole files"
sp=$(timed "$murmex" convert hour.wav sp.mxd)
lp=$(timed "$murmex" convert --lp hour.wav lp.mxd)
spd=$(timed "$murmex" convert sp.mxd sp.wav)
lpd=$(timed "$murmex" convert lp.mxd lp.wav)
for row in "SP encode:$sp" "LP encode:$lp" "SP decode:$spd" "LP decode:$lpd"; do
  t=${row#*:}
  printf '%-10s %7.2f s  %7.0fx realtime\n' "${row%%:*}" "$t" "$(echo "$seconds / $t" | bc -l)"
done
