#!/usr/bin/env bash
# Runs the Windows korvex-cli.exe under Wine against the Linux korvex-sim:
# --version, ports, info on COM1 and the refusal of --device. A fresh Wine
# prefix maps COM1 to a link aimed at the simulator's pseudo-terminal and
# COM2..COM255 to paths that do not exist, so Wine puts the machine's own
# serial devices (here /dev/ttyS0, the kernel console) beyond COM255; the
# mapping is read back and nothing runs unless it is as asked.
#
# Runs korvex_platform_check.exe first when it is in WINDOWS_BIN
# (cmake --build build-windows --target korvex_platform_check).
#
#   scripts/wine-smoke.sh WINDOWS_BIN KORVEX_SIM
#     WINDOWS_BIN   build-windows/bin (from scripts/build-windows.sh)
#     KORVEX_SIM    a Linux build's bin/korvex-sim
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(cd "${1:?usage: wine-smoke.sh WINDOWS_BIN KORVEX_SIM}" && pwd)
SIM=${2:?usage: wine-smoke.sh WINDOWS_BIN KORVEX_SIM}
KIT=${KORVEX_WINDOWS_KIT:-$HOME/.cache/korvex/windows-kit}/korvex-windows-kit
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || { echo "wine-smoke: no $WINE (apt-get install wine64)"; exit 1; }
[ -d "$KIT/bin" ] || { echo "wine-smoke: no kit in $KIT (scripts/windows-kit.sh)"; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvex-wine-smoke.XXXXXX")
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export HOME=${HOME:-$WORK}
unset DISPLAY WAYLAND_DISPLAY
LINK=$WORK/com1
SIM_PID=
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  timeout 20 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
w() { timeout -k 5 120 "$WINE" "$@" </dev/null; }

echo "== prefix $WINEPREFIX"
w wineboot -i >"$WORK/wineboot.log" 2>&1
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
  printf '"COM1"="%s"\r\n' "$LINK"
  for n in $(seq 2 255); do printf '"COM%d"="/nonexistent/korvex-com%d"\r\n' "$n" "$n"; done
} >"$WORK/ports.reg"
w reg import "Z:${WORK//\//\\}\\ports.reg" >"$WORK/reg.log" 2>&1
# The device manager reads the ports key when the prefix starts.
timeout 20 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
w reg query 'HKLM\Software\Wine\Ports' >"$WORK/reg-query.log" 2>&1
bad=0
[ "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$LINK" ] || { echo "COM1 -> $(readlink "$WINEPREFIX/dosdevices/com1")"; bad=1; }
for n in $(seq 2 255); do
  case "$(readlink "$WINEPREFIX/dosdevices/com$n" || true)" in
    /nonexistent/*) ;;
    *) echo "COM$n -> $(readlink "$WINEPREFIX/dosdevices/com$n" || echo nothing)"; bad=1 ;;
  esac
done
if [ "$bad" = 1 ]; then
  echo "REFUSED: the COM port mapping did not take (logs in $WORK)"
  exit 1
fi
echo "   COM1 -> $LINK, COM2..COM255 -> /nonexistent/*"
for l in "$WINEPREFIX"/dosdevices/com*; do
  n=${l##*/com}
  [ "$n" -gt 255 ] && echo "   COM$n -> $(readlink "$l") (never opened)"
done

"$SIM" --link "$LINK" --quiet >"$WORK/sim.log" 2>&1 &
SIM_PID=$!
for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done

export WINEPATH="Z:${KIT//\//\\}\\bin;Z:${KIT//\//\\}\\runtime"
cd "$WORK"
rc=0
if [ -f "$BIN/korvex_platform_check.exe" ]; then
  echo "== korvex_platform_check.exe (the Windows sides' own checks)"
  w "$BIN/korvex_platform_check.exe" 红色 >"$WORK/platform.txt" 2>&1 || rc=1
  tr -d '\r' <"$WORK/platform.txt"
fi
for args in "--version" "ports" "info --port 1" "info --device COM2"; do
  echo "== korvex-cli.exe $args"
  code=0
  # shellcheck disable=SC2086
  w "$BIN/korvex-cli.exe" $args >"$WORK/cli.txt" 2>&1 || code=$?
  tr -d '\r' <"$WORK/cli.txt"
  echo "   exit $code"
done
[ "$rc" = 0 ] && rm -rf "$WORK" || echo "logs kept in $WORK"
exit "$rc"
