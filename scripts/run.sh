#!/usr/bin/env bash
# Installs what is missing, builds the release into build/ and runs korvex.
#
# Port 1 is the simulated controller (korvex-sim on a pseudo-terminal)
# unless KORVEX_COM1 already names an existing device, e.g.
#   KORVEX_COM1=/dev/ttyUSB0 scripts/run.sh
# in which case no simulator is started.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/deps.sh

# The dev preset (CMakePresets.json): Release, no tests, into build/ or BUILD.
BUILD=${BUILD:-build}
cmake --preset dev -B "$BUILD"
cmake --build "$BUILD" -j2
BIN="$BUILD/bin"

# A first run finds no library beside the program (the portable layout's
# korvex.Dat): a demo library of patterns and a program gives the window something to
# show. An existing library is never touched.
if [ -x "$BIN/korvex-cli" ]; then
  bash scripts/demo-library.sh "$BIN/korvex-cli" "$BIN/korvex.Dat" ||
    echo "run: the demo library could not be made; the window starts with an empty one" >&2
fi

SIM_PID=""
stop_sim() {
  if [ -n "$SIM_PID" ]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=""
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

if [ -n "${KORVEX_COM1:-}" ] && [ -e "$KORVEX_COM1" ]; then
  echo "run: port 1 is $KORVEX_COM1 (no simulator)"
else
  # The simulator prints its pty as its first line once it serves; its
  # frame log goes to a file beside the build. Memory survives restarts.
  coproc SIM { exec "$BIN/korvex-sim" --memory "$BUILD/korvex-sim.mem" 2>"$BUILD/korvex-sim.log"; }
  if ! IFS= read -r -t 10 SLAVE <&"${SIM[0]}"; then
    echo "run: korvex-sim did not start" >&2
    exit 1
  fi
  export KORVEX_COM1="$SLAVE"
  for n in 2 3 4 5 6 7 8; do
    var="KORVEX_COM$n"
    if [ -z "${!var:-}" ]; then export "$var=/nonexistent/korvex-com$n"; fi
  done
  echo "run: port 1 is the simulated controller on $SLAVE (log: $BUILD/korvex-sim.log)"
fi

has_display() { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }

if [ -x "$BIN/korvex" ] && { has_display || [ -n "${QT_QPA_PLATFORM:-}" ]; }; then
  # Start-up checks port 1: with the simulator there the status panel is
  # green and the picture page opens. The program ends when its window closes.
  echo "run: opening korvex (port 1 checked at start-up)"
  "$BIN/korvex"
elif [ -x "$BIN/korvex-cli" ]; then
  [ -x "$BIN/korvex" ] && echo "run: no display; showing the controller with korvex-cli instead"
  "$BIN/korvex-cli" info
else
  # Connection check through the library itself: open, read the
  # configuration record, close.
  python3 - "$BIN/libkorvex_api.so" <<'PY'
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
if lib.ComInitial(1, 38400) != 1:
    print("connection check: port 1 does not open"); sys.exit(1)
buf = ctypes.create_string_buffer(1024)
ok = lib.Read1KData(127, 3, buf)
lib.ComClose()
if ok != 1:
    print("connection check: no controller answers on port 1"); sys.exit(1)
rec = buf.raw[512:768]
sig = rec[0:3] == b"Ver"
ver = ((rec[3] - 48) * 10 + (rec[5] - 48)) & 0xFF
print("connection check: controller answers")
print("  signature  :", "Ver" if sig else "absent")
print("  version    : %d (%s)" % (ver, rec[3:6].decode("latin-1")))
print("  pixels     :", (rec[8] << 8) | rec[9])
print("  flags      : 0x%02X" % rec[7])
print("  colour     :", rec[18])
print("  pictures   :", rec[16])
print("  program    :", (rec[19] << 8) | rec[20])
PY
fi
