#!/usr/bin/env bash
# Peak memory of EncodeToMXD on 10 minutes and on 1 hour of 44.1 kHz 16-bit
# stereo. The encoder works chunk by chunk, so the two peaks should be about
# the same (ratio near 1.0), not six times apart.
#   bench/mxconv_memory_bench.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
lib="$build/bin/mxconv.dll"
[ -f "$lib" ] || { echo "build mxconv first ($lib)"; exit 2; }
[ -f "$build/bin/trc.dll" ] || { echo "build trc first ($build/bin/trc.dll)"; exit 2; }
command -v sox >/dev/null || { echo "sox is needed"; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed"; exit 2; }

work=$(mktemp -d /tmp/murmex-mxconv-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The caller: loads the library and encodes one file (or only loads it, for
# the interpreter's and the libraries' own share).
cat > encode.py <<'PY'
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
if len(sys.argv) > 2:
    lib.EncodeToMXD.restype = ctypes.c_int
    lib.EncodeToMXD.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_void_p, ctypes.c_void_p,
                                ctypes.c_void_p, ctypes.c_uint32, ctypes.c_size_t, ctypes.c_ssize_t]
    progress = ctypes.c_int(0)
    r = lib.EncodeToMXD(sys.argv[2].encode(), sys.argv[3].encode(), None, ctypes.addressof(progress),
                        None, 0, 0, 0)
    if r != 1 or progress.value != 1000:
        sys.exit("EncodeToMXD failed: result %d, progress %d" % (r, progress.value))
PY

peak_kb() {  # command... -> peak resident set in KiB
  /usr/bin/time -v "$@" 2> time.log >/dev/null || { cat time.log >&2; exit 1; }
  awk -F': ' '/Maximum resident set size/ {print $2}' time.log
}

export MURMEX_PROGRAM_DIR="$build/bin"
echo "making 10 min and 1 h of 44.1 kHz stereo..."
sox -n -r 44100 -c 2 -b 16 ten.wav synth 600 sine 200-3000
sox -n -r 44100 -c 2 -b 16 hour.wav synth 3600 sine 200-3000

base=$(peak_kb python3 encode.py "$lib")
ten=$(peak_kb python3 encode.py "$lib" ten.wav ten.mxd)
hour=$(peak_kb python3 encode.py "$lib" hour.wav hour.mxd)
printf 'caller alone         %8d KiB\n' "$base"
printf '10 min 44.1k stereo  %8d KiB  (%d KiB above the caller; input %d MiB)\n' "$ten" $((ten - base)) \
  $(( $(stat -c %s ten.wav) / 1048576 ))
printf '1 h 44.1k stereo     %8d KiB  (%d KiB above the caller; input %d MiB)\n' "$hour" $((hour - base)) \
  $(( $(stat -c %s hour.wav) / 1048576 ))
printf 'ratio 1 h / 10 min   %.3f\n' "$(echo "$hour / $ten" | bc -l)"
