#!/usr/bin/env bash
# Takes docs/screenshots/{config,pattern,generate,program}.png of the real
# korvex window: an Xvfb display, the simulated controller on port 1, a
# library of three pictures made with korvex-cli capture, the pattern
# dialog opened from the picture list's menu, and a program put together
# with mouse clicks and keys as an operator would (xdotool).
#
#   scripts/screenshots.sh            # builds into build-screenshots/
#   BUILD=build scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD

bash scripts/deps.sh

BUILD=${BUILD:-build-screenshots}
cmake -S . -B "$BUILD" -DKORVEX_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j2 --target korvex korvex-sim korvex-cli
BIN="$ROOT/$BUILD/bin"
OUT="$ROOT/docs/screenshots"
mkdir -p "$OUT"

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  local i
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    kill "${PIDS[i]}" 2>/dev/null || true
    wait "${PIDS[i]}" 2>/dev/null || true
  done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The program beside its library, as an installation would have it.
cp -P "$BIN/korvex" "$BIN"/libkorvex_api.so* "$WORK/"

# Three pictures: two gradients that repeat every 320 columns (so the
# preview strip shows a whole one) and stripes.
convert -size 4x320 gradient:red-blue -rotate -90 "$WORK/a.bmp"
convert -size 4x320 'gradient:#00ff00-#ffff00' -rotate -90 "$WORK/b.bmp"
convert -size 2048x4 xc:black -fx 'i%32<16 ? 1 : 0' "$WORK/c.bmp"
"$BIN/korvex-cli" capture "$WORK/a.bmp" --name "红蓝渐变" --library "$WORK/korvex.Dat" >/dev/null
"$BIN/korvex-cli" capture "$WORK/b.bmp" --name "绿黄" --library "$WORK/korvex.Dat" >/dev/null
"$BIN/korvex-cli" capture "$WORK/c.bmp" --name "stripes" --library "$WORK/korvex.Dat" >/dev/null

# A display of our own; -displayfd writes its number once it accepts.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=($!)
for _ in $(seq 150); do
  [ -s "$WORK/display" ] && break
  sleep 0.1
done
if ! [ -s "$WORK/display" ]; then
  echo "screenshots: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$WORK/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# The simulated controller: it prints its pty once it serves.
coproc SIM { exec "$BIN/korvex-sim" --firmware 1.1 --quiet 2>"$WORK/sim.log"; }
PIDS+=("$SIM_PID")
if ! IFS= read -r -t 10 SLAVE <&"${SIM[0]}"; then
  echo "screenshots: korvex-sim did not start" >&2
  exit 1
fi
export KORVEX_COM1="$SLAVE"
for n in 2 3 4 5 6 7 8; do export "KORVEX_COM$n=/nonexistent/korvex-com$n"; done

"$WORK/korvex" 2>"$WORK/korvex.log" &
KPID=$!
PIDS+=("$KPID")
WID=$(timeout 20 xdotool search --sync --onlyvisible --pid "$KPID" | head -n1)
if [ -z "$WID" ]; then
  echo "screenshots: the korvex window did not appear" >&2
  exit 1
fi

settle() { sleep 0.4; }
# Clicks at x,y of the window's client area (no window manager: no frame).
click() { xdotool mousemove --window "$WID" "$1" "$2" click 1; settle; }
dblclick() { xdotool mousemove --window "$WID" "$1" "$2" click --repeat 2 --delay 80 1; settle; }
shot() { import -window "$WID" "$OUT/$1.png"; echo "screenshots: docs/screenshots/$1.png"; }

# Picks item $1 of the effect drop-down: opens it, then clicks the item in
# the popup, whose rows are of equal height.
choose_effect() {
  click 214 239
  local popup geo
  popup=$(xdotool search --onlyvisible --pid "$KPID" | grep -vx "$WID" | tail -n1)
  if [ -z "$popup" ]; then
    echo "screenshots: the effect list did not open" >&2
    exit 1
  fi
  eval "$(xdotool getwindowgeometry --shell "$popup")"
  local row=$(((HEIGHT - 4) / 8))
  xdotool mousemove $((X + WIDTH / 2)) $((Y + 2 + row * $1 + row / 2)) click 1
  settle
}

# Tabs along the top of the window: settings, pictures, program.
TAB_CONFIG=(36 14)
TAB_PATTERN=(108 14)
TAB_PROGRAM=(180 14)
PICT_ROW0=(50 62)  # first item of either picture list

settle
# Picture page (the connection check opened it): select picture 1.
click "${TAB_PATTERN[@]}"
click 60 $((PICT_ROW0[1] - 12))
shot pattern

# The pattern dialog from the picture list's menu (its first item): a
# gradient of three colours, the kind and the count picked with the keys.
xdotool mousemove --window "$WID" 60 "${PICT_ROW0[1]}" click 3
settle
xdotool key Down Return
DLG=""
for _ in $(seq 50); do
  DLG=$(xdotool search --onlyvisible --pid "$KPID" | grep -vx "$WID" | tail -n1 || true)
  [ -n "$DLG" ] && break
  sleep 0.1
done
if [ -z "$DLG" ]; then
  echo "screenshots: the pattern dialog did not open" >&2
  exit 1
fi
settle
xdotool windowfocus --sync "$DLG"
xdotool key Down Tab Up
settle
import -window "$DLG" "$OUT/generate.png"
echo "screenshots: docs/screenshots/generate.png"
xdotool key Escape
settle

# Program page: three steps by double-clicking pictures, each followed by
# the effect for that step.
click "${TAB_PROGRAM[@]}"
dblclick "${PICT_ROW0[0]}" "${PICT_ROW0[1]}"
choose_effect 2
dblclick "${PICT_ROW0[0]}" $((PICT_ROW0[1] + 24))
choose_effect 5
dblclick "${PICT_ROW0[0]}" $((PICT_ROW0[1] + 12))
choose_effect 1
shot program

click "${TAB_CONFIG[@]}"
shot config
