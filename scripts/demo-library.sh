#!/usr/bin/env bash
# Makes a demo library of patterns with korvex-cli generate and a short
# program with korvex-cli program add, so that a first run has pictures
# and a program to show and send:
#
#   scripts/demo-library.sh KORVEX-CLI LIBRARY
#
# An existing LIBRARY (or anything else at that path, a dangling link
# included) is never touched. The pictures go into a temporary file, which
# takes the library's name only once every picture is in, so a failure
# leaves no half library.
set -euo pipefail

CLI=$1
LIB=$2

if [ -e "$LIB" ] || [ -L "$LIB" ]; then
  exit 0
fi

# A folder of our own beside it (the same file system, so the move is a
# rename); korvex-cli creates the file in it.
WORK=$(mktemp -d "$LIB.demo.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
TMP="$WORK/demo.Dat"

COUNT=0
add() {
  "$CLI" generate "$@" --library "$TMP" >/dev/null
  COUNT=$((COUNT + 1))
}
add rainbow --name "彩虹"
add gradient --name "红蓝渐变" --colors red,blue --dither
add comet --name "流星" --colors white --repeat 4 --length 160 --dither
add stripes --name "三色条纹" --colors red,lime,blue --width 32
add gradient --name "暖色呼吸" --colors black,orangered,gold,orangered,black --dither
add dots --name "间隔点" --colors white,cyan --width 16
add solid --name "纯红" --colors red

# A short program over them, as the program page would compose it.
STEPS=0
step() {
  "$CLI" program add "$@" --library "$TMP" >/dev/null
  STEPS=$((STEPS + 1))
}
step 1 --effect 显示 --value 3
step 2 --effect 渐显
step 3 --effect 左移 --value 20
step 4 --effect 右移 --value 20
step 5 --effect 渐隐
step 6 --effect 等待 --value 2

# Only where nothing has appeared meanwhile.
mv -n "$TMP" "$LIB"
if [ -e "$TMP" ]; then
  echo "demo-library: $LIB appeared meanwhile; left as it is" >&2
  exit 0
fi
echo "demo-library: there was no library at $LIB; made one of $COUNT patterns and a program of $STEPS steps (korvex-cli generate, program add)"
