#!/usr/bin/env bash
# Runs the Windows korvex-cli.exe under Wine against the Linux korvex-sim and
# compares every case with the Linux korvex-cli given the same inputs: each
# side gets a fresh simulator and a copy of the same work folder, and must
# leave the same exit status, the same frames in the simulator's log, the
# same simulator memory and the same files (library files, exported
# folders) behind. Then one picture is sent by korvex-cli.exe to the
# simulator paced at the line rate and its time printed against its line
# time (printed, not judged). Last, the downloads are made: korvex.exe from
# the portable folder is driven on a virtual display as an operator would
# (tests/win/window_case.sh), and the installer is installed and
# uninstalled (scripts/test-windows-installer.sh).
#
# A fresh Wine prefix maps COM1 to a link aimed at the simulator's
# pseudo-terminal and COM2..COM255 to paths that do not exist, so Wine puts
# the machine's own serial devices (here /dev/ttyS0, the kernel console)
# beyond COM255; the mapping is read back and nothing runs unless it is as
# asked. The Linux side names the same link as port 1.
#
# Without a Windows kit (neither ../shared/windows-kit's tarball nor a kit
# built by scripts/windows-kit.sh) every case is skipped and it exits 0.
# Prints "windows programs: N passed, N failed, N skipped" and exits
# non-zero when a case fails.
#
#   scripts/test-windows-programs.sh
#     KORVEX_WIN_OUT      the Windows build (default build-windows/)
#     KORVEX_WIN_BUILD    where a plain Linux build goes when build-test/bin
#                         has no korvex-cli and korvex-sim (default build-win/)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
START=$(date +%s)
PREFIX=${KORVEX_WINDOWS_KIT:-$HOME/.cache/korvex/windows-kit}
TARBALL=$(cd "$ROOT/.." && pwd)/shared/windows-kit/korvex-windows-kit.tar.xz
WIN_OUT=${KORVEX_WIN_OUT:-$ROOT/build-windows}
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# shellcheck source=scripts/wine-ports.sh
. "$ROOT/scripts/wine-ports.sh"

# name|memory the simulator starts with (- empty, full: the sent show)|
# expected exit status|arguments. Each runs under both systems.
CASES=(
  "version|-|0|--version"
  "ports|-|0|ports"
  "info|full|0|info --port 1"
  "info-absent-port|-|1|info --port 2"
  "capture-bmp|-|0|capture red.bmp --library new.Dat --name 红色"
  "capture-jpeg|-|0|capture ramp.jpg --library new.Dat --name ramp --width 512 --stretch"
  "capture-png|-|0|capture bands.png --library new.Dat --name bands"
  "send-pictures|-|0|send-pictures --port 1 --library show.Dat"
  "send-pictures-verify|-|0|send-pictures --port 1 --library show.Dat --verify"
  "send-pictures-changed|-|0|send-pictures --port 1 --library show.Dat --changed"
  "send-pictures-dry-run|full|0|send-pictures --port 1 --library show.Dat --changed --dry-run"
  "send-program|-|0|send-program --port 1 --library show.Dat"
  "send-program-verify|full|0|send-program --port 1 --library show.Dat --verify"
  "backup|full|0|backup --port 1 --library back.Dat"
  "verify|full|0|verify --port 1 --library show.Dat"
  "verify-differs|-|3|verify --port 1 --library show.Dat"
  "export|-|0|export out --library show.Dat"
  "import|-|0|import showdir --library imported.Dat"
)
# Windows alone: the platform sides' own checks, the refusal of --device,
# the paced upload, the window and the installer.
WIN_ONLY=5
PASSED=0 FAILED=0 SKIPPED=0

summary() {
  echo "windows programs: $PASSED passed, $FAILED failed, $SKIPPED skipped ($(($(date +%s) - START)) s)"
}

# A kit unpacked from a tarball that has gone would be built again (about
# 25 minutes), so only a built one counts without the tarball.
kit_built() {
  [ -f "$PREFIX/korvex-windows-kit/mingw64.cmake" ] && [ "$(cat "$PREFIX/stamp" 2>/dev/null)" = built ]
}
if [ ! -f "$TARBALL" ] && ! kit_built; then
  echo "== windows programs: no Windows kit (no $TARBALL, nothing built in $PREFIX)"
  echo "   make one with scripts/windows-kit.sh (about 25 minutes of 2 cores)"
  SKIPPED=$((${#CASES[@]} + WIN_ONLY))
  summary
  exit 0
fi

if [ ! -x "$WINE" ]; then
  echo "== installing wine64"
  SUDO=()
  [ "$(id -u)" = 0 ] || SUDO=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  timeout 300 "${SUDO[@]}" apt-get update -qq
  timeout 600 "${SUDO[@]}" apt-get install -y -qq --no-install-recommends wine64 >/dev/null
fi

echo "== building the Windows programs"
mkdir -p "$WIN_OUT"
KORVEX_WIN_OUT=$WIN_OUT "$ROOT/scripts/build-windows.sh" >"$WIN_OUT/programs-stage.log" 2>&1 ||
  { tail -n 40 "$WIN_OUT/programs-stage.log"; exit 1; }
cmake --build "$WIN_OUT" --target korvex_platform_check >>"$WIN_OUT/programs-stage.log" 2>&1 ||
  { tail -n 40 "$WIN_OUT/programs-stage.log"; exit 1; }
BIN=$WIN_OUT/bin
KIT=$PREFIX/korvex-windows-kit

if [ -x "$ROOT/build-test/bin/korvex-cli" ] && [ -x "$ROOT/build-test/bin/korvex-sim" ]; then
  LBIN=$ROOT/build-test/bin
else
  echo "== building a Linux korvex-cli and korvex-sim"
  HOST=${KORVEX_WIN_BUILD:-$ROOT/build-win}/host
  mkdir -p "$HOST"
  { cmake -S "$ROOT" -B "$HOST" -DKORVEX_GUI=ON -DKORVEX_TESTS=OFF -DKORVEX_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$HOST" -j2 --target korvex-cli korvex-sim; } >"$HOST/programs-stage.log" 2>&1 ||
    { tail -n 40 "$HOST/programs-stage.log"; exit 1; }
  LBIN=$HOST/bin
fi
echo "   Windows: $BIN, Linux: $LBIN"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvex-wine-programs.XXXXXX")
# The Linux programs keep their record of uploads here, not in the user's
# data folder.
export XDG_DATA_HOME=$WORK/linux-data
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export WINEPATH="Z:${KIT//\//\\}\\bin;Z:${KIT//\//\\}\\runtime"
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
# The Linux side: port 1 is the same link, the others lead nowhere.
for n in 2 3 4 5 6 7 8; do export "KORVEX_COM$n=/nonexistent/korvex-com$n"; done
LINK=$WORK/com1
SIM_PID=
stop_sim() {
  [ -n "$SIM_PID" ] || return 0
  kill -TERM "$SIM_PID" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$SIM_PID" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  stop_sim
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
w() { timeout -k 5 120 "$WINE" "$@" </dev/null; }

# start_sim DIR [--baud N]: a fresh simulator on $LINK whose memory is
# DIR/sim.mem (loaded when there, saved when it stops) and whose frame log
# is DIR/frames.log.
start_sim() {
  local dir=$1; shift
  rm -f "$LINK"
  "$LBIN/korvex-sim" --link "$LINK" --memory "$dir/sim.mem" "$@" >"$dir/sim.out" 2>"$dir/frames.log" &
  SIM_PID=$!
  for _ in $(seq 100); do [ -s "$dir/sim.out" ] && [ -e "$LINK" ] && return 0; sleep 0.1; done
  echo "   the simulator did not start (see $dir)"
  return 1
}

echo "== prefix $WINEPREFIX"
w wineboot -i >"$WORK/wineboot.log" 2>&1
map_com_ports "$LINK" || exit 1
# One server for the whole run, so each program starts the same way; its
# output (it prints its objects when signalled) goes to a log.
"$WINESERVER" -p >"$WORK/wineserver.log" 2>&1 &

# The inputs every case copies: three small images, a show library made
# from them with a program, its exported folder, and the memory of a
# simulator the show was sent to. All made with the Linux programs.
echo "== inputs"
IN=$WORK/inputs
mkdir -p "$IN"
lcli() {
  KORVEX_COM1=$LINK "$LBIN/korvex-cli" "$@" >>"$WORK/inputs.log" 2>&1 ||
    { echo "   korvex-cli $* failed (see $WORK/inputs.log)"; exit 1; }
}
(
  cd "$IN"
  convert -size 64x2 xc:'#ff2000' BMP3:red.bmp
  convert -size 300x3 gradient:'#00ff00-#0000ff' -quality 95 ramp.jpg
  convert -size 100x2 xc:'#ffff00' xc:'#00ffff' xc:'#ff00ff' +append bands.png
  lcli capture red.bmp --library show.Dat --name 红色
  lcli capture ramp.jpg --library show.Dat --name ramp --width 512 --stretch
  lcli capture bands.png --library show.Dat --name bands
  lcli program add 1 --library show.Dat
  lcli program add 3 --library show.Dat --effect 左移 --value 9
  lcli program add 2 --library show.Dat --effect 等待
  lcli export showdir --library show.Dat
)
mkdir -p "$WORK/full"
start_sim "$WORK/full"
lcli send-pictures --port 1 --library "$IN/show.Dat"
lcli send-program --port 1 --library "$IN/show.Dat"
stop_sim
[ -s "$WORK/full/sim.mem" ] || { echo "   no simulator memory saved (see $WORK/full)"; exit 1; }

# run_side SIDE DIR MEMORY ARGS...: runs one side of a case in DIR.
run_side() {
  local side=$1 dir=$2 memory=$3 code=0; shift 3
  mkdir -p "$dir"
  cp -r "$IN/." "$dir/"
  [ "$memory" = full ] && cp "$WORK/full/sim.mem" "$dir/sim.mem"
  start_sim "$dir" || return 1
  if [ "$side" = linux ]; then
    (cd "$dir" && KORVEX_COM1=$LINK timeout -k 5 120 "$LBIN/korvex-cli" "$@" </dev/null) >"$dir/out.txt" 2>&1 || code=$?
  else
    (cd "$dir" && w "$BIN/korvex-cli.exe" "$@") >"$dir/out.txt" 2>&1 || code=$?
  fi
  stop_sim
  echo "$code" >"$dir/status"
  # An upload's tag in name table 1's tail carries a random upload id (the
  # 16 bytes after its magic and version): the one range the two sides
  # never share.
  if [ -s "$dir/sim.mem" ]; then
    head -c 16 /dev/zero | dd of="$dir/sim.mem" bs=1 seek=$((127 * 4096 + 1024 + 896 + 9)) \
      conv=notrunc status=none
  fi
  # The frames alone: the simulator's other lines name its own files.
  grep '^korvex-sim: frame' "$dir/frames.log" >"$dir/frames.txt" || true
  rm "$dir/frames.log"
  # What the programs printed is compared apart, without Windows' line ends.
  tr -d '\r' <"$dir/out.txt" >"$WORK/$side.txt"
  rm "$dir/out.txt" "$dir/sim.out"
}

fail() { echo "   FAILED: $*"; FAILED=$((FAILED + 1)); }
# expect CODE WANT WHAT: a Windows-only case passes when it exits WANT.
expect() {
  if [ "$1" = "$2" ]; then PASSED=$((PASSED + 1)); else fail "$3: exit $1, not $2"; fi
}

for c in "${CASES[@]}"; do
  IFS='|' read -r name memory want args <<<"$c"
  read -ra argv <<<"$args"
  echo "== $name: korvex-cli $args"
  d=$WORK/cases/$name
  run_side linux "$d/linux" "$memory" "${argv[@]}" || { fail "$name (Linux side)"; continue; }
  run_side windows "$d/windows" "$memory" "${argv[@]}" || { fail "$name (Windows side)"; continue; }
  sed 's/^/   windows| /' "$WORK/windows.txt" | head -n 12
  echo "   exit $(cat "$d/windows/status") (Linux $(cat "$d/linux/status")), $(wc -l <"$d/windows/frames.txt") frames"
  if [ "$(cat "$d/linux/status")" != "$want" ]; then
    fail "$name: the Linux korvex-cli exited $(cat "$d/linux/status"), not $want"
  elif ! diff -rq "$d/linux" "$d/windows" >"$d/diff.txt"; then
    sed 's/^/   /' "$d/diff.txt" | head -n 20
    diff "$d/linux/frames.txt" "$d/windows/frames.txt" | sed 's/^/   /' | head -n 20 || true
    fail "$name: the Windows run left a different result"
  elif [ "$name" = version ] && ! cmp -s "$WORK/linux.txt" "$WORK/windows.txt"; then
    fail "$name: the versions differ"
  else
    PASSED=$((PASSED + 1))
  fi
done

echo "== korvex-cli.exe info --device COM2 (refused: Windows names ports by number)"
code=0
w "$BIN/korvex-cli.exe" info --device COM2 >"$WORK/device.txt" 2>&1 || code=$?
tr -d '\r' <"$WORK/device.txt" | sed 's/^/   /'
expect "$code" 2 "--device"

echo "== korvex_platform_check.exe (the Windows sides' own checks)"
code=0
(cd "$WORK" && w "$BIN/korvex_platform_check.exe" 红色) >"$WORK/platform.txt" 2>&1 || code=$?
tr -d '\r' <"$WORK/platform.txt" | sed 's/^/   /'
expect "$code" 0 "the platform check"

# One picture alone (record read and write, its four blocks, both name
# tables, the restart) at the line rate the simulator paces. Its line
# time counts every byte of every request and reply at 10 bits, one after
# the other: frames are the payload and 13 bytes; a read's reply is 1024
# bytes, any other reply 2.
BAUD=$(sed -n 's/.*kBaud = \([0-9]*\);.*/\1/p' "$ROOT/model/line.h")
echo "== one picture through Wine at $BAUD baud (printed, not judged)"
d=$WORK/timing
mkdir -p "$d"
cp "$IN/show.Dat" "$d/"
# The time Wine takes to start and end the program is measured apart, on
# --version, and taken off (the server is warm for both).
w "$BIN/korvex-cli.exe" --version >/dev/null 2>&1
s0=$(date +%s.%N)
w "$BIN/korvex-cli.exe" --version >/dev/null 2>&1
s1=$(date +%s.%N)
start_sim "$d" --baud "$BAUD"
t0=$(date +%s.%N)
code=0
(cd "$d" && w "$BIN/korvex-cli.exe" send-pictures --port 1 --library show.Dat --only 2) >"$d/out.txt" 2>&1 || code=$?
t1=$(date +%s.%N)
stop_sim
bytes=$(( (3 + 13 + 1024) + (257 + 13 + 2) + 6 * (1027 + 13 + 2) + (1 + 13) ))
frames=$(grep -c ': frame' "$d/frames.log" || true)
awk -v s0="$s0" -v s1="$s1" -v t0="$t0" -v t1="$t1" -v b="$bytes" -v baud="$BAUD" \
    -v code="$code" -v f="$frames" 'BEGIN {
  line = b * 10 / baud; wall = t1 - t0; start = s1 - s0
  printf "   %d frames, exit %d, line time %.3f s\n", f, code, line
  printf "   wall time %.3f s (%.3f x line time), less %.3f s of program start under Wine: %.3f s (%.3f x line time)\n", wall, wall / line, start, wall - start, (wall - start) / line
}'
if [ "$code" = 0 ] && [ "$frames" = 9 ]; then
  PASSED=$((PASSED + 1))
else
  tr -d '\r' <"$d/out.txt" | sed 's/^/   /'
  fail "the paced upload: exit $code, $frames frames"
fi

# The server finds its prefix by the folder's identity: stop it before
# the folder goes.
cleanup

# The downloads: the portable folder, the zip and the installer.
VERSION=$(sed -n 's/^project(korvex VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
PACKAGE=$WIN_OUT/package
echo "== the downloads (scripts/package-windows.sh)"
if KORVEX_WIN_OUT=$WIN_OUT "$ROOT/scripts/package-windows.sh" "$PACKAGE" >"$WORK/package.txt" 2>&1; then
  tail -n 3 "$WORK/package.txt" | sed 's/^/   /'
  # The window from the portable folder, on a display and in a prefix of
  # its own; skipped when the display tools are missing.
  echo "== the window (tests/win/window_case.sh)"
  code=0
  bash "$ROOT/tests/win/window_case.sh" "$PACKAGE/korvex-$VERSION-win64" "$LBIN" >"$WORK/window.txt" 2>&1 ||
    code=$?
  sed 's/^/   /' "$WORK/window.txt"
  if [ "$code" = 77 ]; then SKIPPED=$((SKIPPED + 1)); else expect "$code" 0 "the window"; fi
  # The installer, installed and uninstalled silently in a prefix of its own.
  echo "== the installer (scripts/test-windows-installer.sh)"
  code=0
  bash "$ROOT/scripts/test-windows-installer.sh" "$PACKAGE/korvex-$VERSION-setup.exe" >"$WORK/installer.txt" 2>&1 ||
    code=$?
  sed 's/^/   /' "$WORK/installer.txt"
  expect "$code" 0 "the installer"
else
  tail -n 40 "$WORK/package.txt" | sed 's/^/   /'
  fail "the window (no downloads made)"
  fail "the installer (no downloads made)"
fi
summary
if [ "$FAILED" = 0 ]; then
  rm -rf "$WORK"
  exit 0
fi
echo "logs kept in $WORK"
exit 1
