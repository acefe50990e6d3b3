#!/usr/bin/env bash
# Drives korvex.exe under Wine on a display of its own (Xvfb) as an
# operator would, with xdotool: the portable folder copied to a writable
# place with a library of three pictures beside the program, COM1 mapped to
# a fresh simulator and COM2..COM255 to paths that do not exist (read back
# first), then
#   - the window opens with its caption, having read the controller's
#     settings record from COM1 (the simulator's first frame);
#   - the settings tab, then the picture tab, are clicked; the picture page
#     is photographed; its Send button is clicked, the outcome box comes
#     and Enter closes it;
#   - the simulator then holds the library's pictures (the Linux korvex-cli
#     verify against it exits 0);
#   - Alt+F4 closes the window, korvex.exe exits 0 and no korvex.exe is
#     left among the prefix's processes.
# Every wait is bounded. Prints "window: N passed, N failed" and exits 1
# when a check fails, 77 (with the reason) when Xvfb, xdotool or import is
# missing.
#
#   tests/win/window_case.sh FOLDER LINUX_BIN [SHOT]
#     FOLDER     the portable folder (scripts/package-windows.sh's korvex-<version>-win64/)
#     LINUX_BIN  the folder of the Linux korvex-cli and korvex-sim
#     SHOT       also copy the picture page's screenshot there (the README's
#                docs/windows-window.png is made so); the test itself keeps
#                it in its temporary folder only
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
START=$(date +%s)
[ $# -ge 2 ] || { echo "usage: $0 FOLDER LINUX_BIN [SHOT]"; exit 2; }
FOLDER=$(cd "$1" && pwd)
LBIN=$(cd "$2" && pwd)
SHOT=${3:-}
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "window: skipped, $tool is missing (scripts/deps.sh installs it)"; exit 77; }
done
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# shellcheck source=scripts/wine-ports.sh
. "$ROOT/scripts/wine-ports.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvex-wine-window.XXXXXX")
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
LINK=$WORK/com1
XVFB_PID='' SIM_PID='' KPID=''
stop() {  # PID: TERM, a bounded wait, then KILL
  [ -n "$1" ] || return 0
  kill -TERM "$1" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  stop "$KPID"; KPID=
  stop "$SIM_PID"; SIM_PID=
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  stop "$XVFB_PID"; XVFB_PID=
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
w() { timeout -k 5 120 "$WINE" "$@" </dev/null; }

passed=0 failed=0
ok() { passed=$((passed + 1)); echo "   ok    $1"; }
bad() { failed=$((failed + 1)); echo "   FAIL  $1"; }
check() {  # name, then the command that must succeed
  local name=$1
  shift
  if "$@"; then ok "$name"; else bad "$name"; fi
}
finish() {
  cleanup
  echo "window: $passed passed, $failed failed ($(($(date +%s) - START)) s)"
  if [ "$failed" = 0 ]; then rm -rf "$WORK"; else echo "logs kept in $WORK"; fi
  exit $((failed > 0))
}
# until_true SECONDS COMMAND...: polls COMMAND every 0.2 s until it succeeds.
until_true() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}

# A display of its own: -displayfd writes the number of a free one once
# the server accepts clients.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
until_true 15 test -s "$WORK/display" || { bad "Xvfb started (see $WORK/xvfb.log)"; finish; }
DISPLAY=":$(head -n1 "$WORK/display")"
export DISPLAY
echo "== display $DISPLAY, prefix $WINEPREFIX"

"$LBIN/korvex-sim" --link "$LINK" --memory "$WORK/sim.mem" >"$WORK/sim.out" 2>"$WORK/frames.log" &
SIM_PID=$!
until_true 10 test -s "$WORK/sim.out" -a -e "$LINK" || { bad "the simulator started"; finish; }

w wineboot -i >"$WORK/wineboot.log" 2>&1
map_com_ports "$LINK" || { bad "the COM ports mapped"; finish; }

# The operator's copy of the portable folder, with a library of three
# pictures made by the Linux korvex-cli beside korvex.exe.
APP=$WORK/korvex
cp -r "$FOLDER" "$APP"
for p in "gradient --name 渐变 --colors red,blue" "stripes --name stripes --colors yellow,cyan" \
  "rainbow --name 彩虹"; do
  read -ra argv <<<"$p"
  "$LBIN/korvex-cli" generate "${argv[@]}" --library "$APP/korvex.Dat" >>"$WORK/library.log" 2>&1 ||
    { bad "korvex-cli generate $p (see $WORK/library.log)"; finish; }
done

echo "== korvex.exe"
(cd "$APP" && exec timeout -k 5 300 "$WINE" ./korvex.exe </dev/null >"$WORK/korvex.log" 2>&1) &
KPID=$!
WID=$(timeout 60 xdotool search --sync --onlyvisible --name '^护栏管 V1\.5$' 2>/dev/null | head -n1 || true)
check "the window opens with its caption" test -n "$WID"
[ -n "$WID" ] || finish
# The connection check at start-up reads the settings record (page 127,
# block 3) before the window shows.
first=$(grep -m1 '^korvex-sim: frame' "$WORK/frames.log" || true)
echo "     first frame: ${first:-none}"
check "it read the settings record from COM1 at start-up" \
  test "$first" = "korvex-sim: frame 1: A page 127 block 3 -> DATA"

# Without a window manager the X window is the client area: the tabs along
# its top, the picture page's buttons below them (page origin 2,25).
settle() { sleep 0.5; }
click() { xdotool mousemove --window "$WID" "$1" "$2" click 1; settle; }
click 36 12   # 系统设置
click 108 12  # 图形管理
xdotool mousemove --window "$WID" 330 270
settle
check "a screenshot of the picture page" timeout 20 import -window "$WID" "$WORK/window.png"
[ -z "$SHOT" ] || cp "$WORK/window.png" "$SHOT"

frames=$(grep -c '^korvex-sim: frame' "$WORK/frames.log" || true)
click 255 229  # 发  送
BOX=
# shellcheck disable=SC2317  # run by until_true
box_shown() { BOX=$(xdotool search --onlyvisible --name '^发送图形$' 2>/dev/null | head -n1) && [ -n "$BOX" ]; }
# shellcheck disable=SC2317  # run by until_true
box_gone() { ! xdotool search --onlyvisible --name '^发送图形$' >/dev/null 2>&1; }
if until_true 60 box_shown; then
  timeout 10 import -window "$BOX" "$WORK/outcome.png" || true
  timeout 10 xdotool windowfocus --sync "$BOX" || true
  xdotool key Return
  check "Send shows the outcome box and Enter closes it" until_true 20 box_gone
else
  bad "Send shows the outcome box"
fi
echo "     $(($(grep -c '^korvex-sim: frame' "$WORK/frames.log" || true) - frames)) frames sent"

# The library's pictures are what the controller now holds.
code=0
KORVEX_COM1=$LINK timeout -k 5 60 "$LBIN/korvex-cli" verify --port 1 --library "$APP/korvex.Dat" \
  </dev/null >"$WORK/verify.txt" 2>&1 || code=$?
[ "$code" = 0 ] || sed 's/^/     /' "$WORK/verify.txt" | head -n 20
check "the simulator holds the library's pictures (verify exits $code)" test "$code" = 0

timeout 10 xdotool windowfocus --sync "$WID" || true
xdotool key alt+F4
until_true 30 bash -c "! kill -0 $KPID 2>/dev/null" || true
if kill -0 "$KPID" 2>/dev/null; then
  bad "Alt+F4 ends korvex.exe"
else
  code=0
  wait "$KPID" || code=$?
  KPID=
  check "Alt+F4 ends korvex.exe (exit status $code)" test "$code" = 0
fi
# The prefix's own process list, which would show a korvex.exe whose
# loader had gone.
w winedbg --command "info proc" 2>&1 | tr -d '\r' >"$WORK/processes.txt" || true
if grep -q "'winedbg.exe'" "$WORK/processes.txt" && ! grep -qi "'korvex.exe'" "$WORK/processes.txt"; then
  ok "no korvex.exe is left in the prefix"
else
  sed 's/^/     /' "$WORK/processes.txt"
  bad "no korvex.exe is left in the prefix"
fi
finish
