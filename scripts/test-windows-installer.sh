#!/usr/bin/env bash
# Tests korvex's Windows installer under Wine, in a fresh prefix whose COM1..
# COM255 all lead to paths that do not exist (read back before anything runs,
# so nothing can open the machine's own serial devices): a silent install,
# the installed korvex-cli.exe --version, the uninstaller's registration, a
# silent uninstall, and then no installed file, Start-menu entry or
# registration left behind, while the operator's files stay. Installs wine64
# when it is missing. Prints "installer: N passed, N failed" and exits
# non-zero when a check fails.
#
#   scripts/test-windows-installer.sh [SETUP_EXE]
#     SETUP_EXE   korvex-<version>-setup.exe; without it scripts/package-windows.sh
#                 makes one. The portable folder beside it, when there, is the
#                 list of files the installer must install.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
START=$(date +%s)
VERSION=$(sed -n 's/^project(korvex VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
if [ $# -ge 1 ]; then
  SETUP=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
else
  "$ROOT/scripts/package-windows.sh"
  SETUP=${KORVEX_WIN_OUT:-$ROOT/build-windows}/package/korvex-$VERSION-setup.exe
fi
[ -f "$SETUP" ] || { echo "test-windows-installer: no $SETUP"; exit 1; }
FOLDER=$(dirname "$SETUP")/korvex-$VERSION-win64
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# shellcheck source=scripts/wine-ports.sh
. "$ROOT/scripts/wine-ports.sh"
if [ ! -x "$WINE" ]; then
  echo "test-windows-installer: installing wine64"
  SUDO=()
  [ "$(id -u)" = 0 ] || SUDO=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q >/dev/null
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends wine64 >/dev/null
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvex-wine-installer.XXXXXX")
# winemenubuilder would copy the Start-menu entry into this machine's own menus.
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY
trap 'timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
w() { timeout -k 5 300 "$WINE" "$@" </dev/null; }

passed=0 failed=0
check() {  # name, then the command that must succeed
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "   ok    $name"
  else
    failed=$((failed + 1))
    echo "   FAIL  $name"
  fi
}
finish() {
  echo "installer: $passed passed, $failed failed ($(($(date +%s) - START)) s)"
  if [ "$failed" = 0 ]; then rm -rf "$WORK"; else echo "logs kept in $WORK"; fi
  exit $((failed > 0))
}

echo "== prefix $WINEPREFIX"
w wineboot -i >"$WORK/wineboot.log" 2>&1
map_com_ports /nonexistent/korvex-com1 || { failed=1; finish; }

C=$WINEPREFIX/drive_c
DEST="$C/Program Files/korvex"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\korvex'
# Every file under C:, less the temporary folders installers unpack into.
snapshot() {
  (cd "$C" && find . \( -type f -o -type l \) | grep -v -i -e '/temp/' | LC_ALL=C sort)
}
# The registry's keys, as the prefix saves them when its server stops.
keys() {
  timeout 30 "$WINESERVER" -w || true
  cat "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" | sed -n 's/^\[\(.*\)\] [0-9].*/\1/p' | LC_ALL=C sort
}
snapshot >"$WORK/before.txt"
keys >"$WORK/keys-before.txt"

echo "== $(basename "$SETUP") /S"
check "the silent install exits 0" w "$SETUP" /S
snapshot >"$WORK/after-install.txt"
LC_ALL=C comm -13 "$WORK/before.txt" "$WORK/after-install.txt" >"$WORK/installed.txt"
sed 's/^/     /' "$WORK/installed.txt" | head -n 60
if [ -d "$FOLDER" ]; then
  (cd "$FOLDER" && find . -type f | sed 's|^\./|./Program Files/korvex/|'
    echo "./Program Files/korvex/uninstall.exe"
    echo "./ProgramData/Microsoft/Windows/Start Menu/Programs/korvex 护栏管.lnk") |
    LC_ALL=C sort >"$WORK/expected.txt"
  check "it installs the portable folder's files, the uninstaller and the Start-menu entry, nothing else" \
    diff "$WORK/expected.txt" "$WORK/installed.txt"
fi

keys >"$WORK/keys-after-install.txt"
LC_ALL=C comm -13 "$WORK/keys-before.txt" "$WORK/keys-after-install.txt" >"$WORK/keys-added.txt"
check "the only registry key it adds is its Uninstall key" \
  test "$(cat "$WORK/keys-added.txt")" = 'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\korvex'

echo "== korvex-cli.exe --version (installed)"
code=0
w "$DEST/korvex-cli.exe" --version >"$WORK/version.txt" 2>&1 || code=$?
tr -d '\r' <"$WORK/version.txt" | sed 's/^/     /'
check "it prints \"korvex-cli $VERSION\" and exits 0" \
  test "$code:$(tr -d '\r' <"$WORK/version.txt")" = "0:korvex-cli $VERSION"

echo "== the uninstaller's registration"
w reg query "$KEY" >"$WORK/key.txt" 2>&1 || true
tr -d '\r' <"$WORK/key.txt" | sed -n 's/^    \([A-Za-z]*\) .*/\1/p' | LC_ALL=C sort >"$WORK/values.txt"
paste -sd' ' "$WORK/values.txt" | sed 's/^/     /'
printf '%s\n' DisplayIcon DisplayName DisplayVersion InstallLocation NoModify NoRepair Publisher \
  QuietUninstallString UninstallString >"$WORK/values-expected.txt"
check "the Uninstall key holds the nine values" diff "$WORK/values-expected.txt" "$WORK/values.txt"
check "its QuietUninstallString runs the installed uninstaller silently" \
  grep -q 'QuietUninstallString.*"C:\\Program Files\\korvex\\uninstall.exe" /S' "$WORK/key.txt"

# The operator's files: the library, settings and icon in their data folder,
# and a library saved beside the installed programs.
DATA=$(find "$C/users" -maxdepth 4 -type d -path '*/AppData/Local' | head -n1)
mkdir -p "$DATA/korvex"
for f in korvex.Dat korvex.Ini korvex.Ico; do echo operator >"$DATA/korvex/$f"; done
echo operator >"$DEST/korvex.Dat"

echo "== uninstall.exe /S"
check "the silent uninstall exits 0" w "$DEST/uninstall.exe" /S
# The uninstaller copies itself to a temporary folder, starts the copy and
# returns: the files go some moments later.
gone() {
  while IFS= read -r f; do [ -e "$C/$f" ] && return 1; done <"$WORK/installed.txt"
  return 0
}
for _ in $(seq 120); do gone && break; sleep 0.5; done
timeout 60 "$WINESERVER" -w || true
snapshot >"$WORK/after-uninstall.txt"
LC_ALL=C comm -12 "$WORK/installed.txt" "$WORK/after-uninstall.txt" >"$WORK/left.txt"
sed 's/^/     left: /' "$WORK/left.txt"
check "no installed file is left behind" test ! -s "$WORK/left.txt"
check "the operator's files stay, and so does the folder that holds one" \
  test -f "$DATA/korvex/korvex.Dat" -a -f "$DATA/korvex/korvex.Ini" -a -f "$DATA/korvex/korvex.Ico" \
  -a -f "$DEST/korvex.Dat" -a "$(find "$DEST" | wc -l)" = 2
code=0
w reg query "$KEY" >"$WORK/key-after.txt" 2>&1 || code=$?
check "the Uninstall key is gone" test "$code" != 0

finish
