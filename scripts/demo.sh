#!/usr/bin/env bash
# The main job on a demo card made on the spot: format a card image, record
# a voice message (speech encoded with the recorder's codec), put it and two
# PC files on the card, list it, get everything back checking every byte,
# and decode the voice message to a WAV file again. Then the same card goes
# into an emulated USB bridge and everything comes out again through the
# whole card-reader stack (card access library, USB access library, device
# manager, bridge driver).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup-deps.sh"
"$top/scripts/build.sh" build -DMURMEX_TESTS=OFF -DMURMEX_BENCH=OFF -DMURMEX_SANITIZE=OFF
murmex="$top/build/bin/murmex"

work=$(mktemp -d /tmp/murmex-demo.XXXXXX)
cd "$work"
echo "== demo card in $work"
"$murmex" format demo.tmf --variant 0xFF000021
mkdir -p pc back
# A voice message in the card's native format (MXD: magic + codec frames),
# encoded from ten seconds of speech, and two ordinary PC files, which the
# card keeps as data messages.
cp "$top/tests/fixtures/speech-7221.wav" pc/greeting.wav
"$murmex" convert pc/greeting.wav pc/greeting.mxd
head -c 200000 /dev/urandom > pc/minutes.doc
printf 'Call the office back before Friday.\n' > pc/todo.txt

echo "== put"
"$murmex" --image demo.tmf put pc/greeting.mxd pc/minutes.doc pc/todo.txt
echo "== info"
"$murmex" --image demo.tmf info
echo "== ls"
"$murmex" --image demo.tmf ls
echo "== get"
"$murmex" --image demo.tmf get -o back
ls -l back
cmp pc/greeting.mxd back/MsgA001.mxd
cmp pc/minutes.doc back/MsgA002-minutes.doc
cmp pc/todo.txt back/MsgA003-todo.txt
echo "== every file came back byte for byte"
echo "== convert the voice message back to WAV"
"$murmex" convert back/MsgA001.mxd back/MsgA001.wav
ls -l back/MsgA001.wav

echo "== the card in an emulated USB bridge"
export MURMEX_BRIDGE_EMULATOR="$work/demo.tmf"
"$murmex" --bridge ls
"$murmex" --bridge get -o viabridge
cmp back/MsgA001.mxd viabridge/MsgA001.mxd
cmp pc/minutes.doc viabridge/MsgA002-minutes.doc
cmp pc/todo.txt viabridge/MsgA003-todo.txt
echo "== every file came out of the bridge byte for byte"
