#!/usr/bin/env bash
# The main job on a demo card made on the spot: format a card image, put a
# few files on it, list it, and get everything back, checking every byte.
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
# A voice message in the card's native format (MXD: magic + codec frames)
# and two ordinary PC files, which the card keeps as data messages.
{ printf 'MXDS'; head -c 24000 /dev/urandom; } > pc/greeting.mxd
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
