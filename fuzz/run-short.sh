#!/usr/bin/env bash
# Runs every fuzz target for a short while, each on a seed corpus that the
# target writes afresh (MURMEX_WRITE_SEEDS), and fails when any of them finds
# a crash. Crashing inputs are kept in BUILD_DIR/fuzz/artifacts.
#
#   fuzz/run-short.sh BUILD_DIR SECONDS
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
bin="$1/fuzz"
seconds="$2"
artifacts="$bin/artifacts"
mkdir -p "$artifacts"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Longest input per target: a control byte and ten 16 KB blocks for card
# images (the system area and the first messages of a DVR card).
# A format record and a few coded blocks for the audio compression manager.
# A few hundred frames of an MXD frame stream for the speech codec.
# A bridge's answers to a connect and a few block operations for kvcard; a
# few dozen requests for the bridge emulator; a descriptor or option string.
declare -A max_len=([card_image_fuzz]=163841 [native_header_fuzz]=4096 [acm_stream_fuzz]=16384 [wave_header_fuzz]=4096 [codec_decode_fuzz]=4096
                    [kvcard_bridge_fuzz]=65536 [bridge_emulator_fuzz]=8192 [usb_formats_fuzz]=1024)

status=0
for target in card_image_fuzz native_header_fuzz acm_stream_fuzz wave_header_fuzz codec_decode_fuzz \
              kvcard_bridge_fuzz bridge_emulator_fuzz usb_formats_fuzz; do
    if [[ ! -x "$bin/$target" ]]; then
        echo "$target: not built in $bin" >&2
        status=1
        continue
    fi
    MURMEX_WRITE_SEEDS="$work/$target-seeds" "$bin/$target"
    mkdir -p "$work/$target-corpus"
    echo "== $target for ${seconds}s"
    if ! "$bin/$target" -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$work/$target-corpus" "$work/$target-seeds" >"$work/$target.log" 2>&1; then
        status=1
        echo "$target: FAILED (log below, inputs in $artifacts)" >&2
        tail -n 60 "$work/$target.log" >&2
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)|^#[0-9]+.*DONE' "$work/$target.log" || true
    fi
done
exit $status
