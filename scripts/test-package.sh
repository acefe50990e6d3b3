#!/usr/bin/env bash
# Makes the Debian package with scripts/package.sh and checks it as a user
# and a packager would: its file list, the launcher entry, the AppStream
# metadata and the manual pages; then, unpacked into a temporary root and
# with a temporary HOME, that the programs run from there without
# LD_LIBRARY_PATH, that korvex-cli keeps its library in HOME's data folder
# and reaches korvex-sim; last, lintian (no error-level tag). Ends with
# "package: N passed, N failed" and exits non-zero when a check failed.
# Skipped, with the reason, where dpkg-deb is absent.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if ! command -v dpkg-deb >/dev/null; then
  echo "package: skipped: dpkg-deb is not installed (not a Debian system)"
  exit 0
fi

BUILD=${BUILD:-build-package}
LOG=$BUILD/package.log
mkdir -p "$BUILD"
echo "== making the package (scripts/package.sh, into $BUILD/; log: $LOG)"
if ! BUILD="$BUILD" bash scripts/package.sh >"$LOG" 2>&1; then
  tail -n 40 "$LOG"
  echo "package: 0 passed, 1 failed (scripts/package.sh failed)"
  exit 1
fi
DEB=$(ls "$BUILD"/korvex_*_amd64.deb)
VERSION=$(dpkg-deb -f "$DEB" Version)
APP_ID=$(sed -n 's/^KORVEX_APP_ID:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
echo "   $DEB"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvex-package.XXXXXX")
SIMULATOR=""
cleanup() {
  if [ -n "$SIMULATOR" ]; then
    kill "$SIMULATOR" 2>/dev/null
    wait "$SIMULATOR" 2>/dev/null
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
# check NAME COMMAND...: runs the command, prints its output, counts it.
check() {
  local name=$1
  shift
  if "$@" >"$WORK/out" 2>&1; then
    passed=$((passed + 1))
    echo "-- ok:   $name"
  else
    failed=$((failed + 1))
    echo "-- FAIL: $name"
  fi
  sed 's/^/   /' "$WORK/out"
}

# ---- what the package holds

file_list() {
  local want got
  want=$(printf '%s\n' \
    usr/bin/korvex usr/bin/korvex-cli usr/bin/korvex-sim \
    usr/include/korvex_api.h \
    usr/lib/x86_64-linux-gnu/libkorvex_api.so \
    usr/lib/x86_64-linux-gnu/libkorvex_api.so.1 \
    "usr/lib/x86_64-linux-gnu/libkorvex_api.so.$VERSION" \
    usr/share/applications/korvex.desktop \
    usr/share/bash-completion/completions/korvex-cli \
    "usr/share/metainfo/$APP_ID.metainfo.xml" \
    usr/share/icons/hicolor/scalable/apps/korvex.svg \
    usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/korvex.png \
    usr/share/man/man1/{korvex,korvex-cli,korvex-sim}.1.gz \
    usr/share/doc/korvex/copyright usr/share/doc/korvex/changelog.gz | sort)
  # Files and links, without the folders.
  got=$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort)
  if [ "$want" != "$got" ]; then
    diff <(echo "$want") <(echo "$got") | sed 's/^</missing:/; s/^>/unexpected:/' | grep -v '^[0-9]'
    return 1
  fi
  echo "$(echo "$got" | wc -l) files as expected"
}
check "file list" file_list

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
check "desktop-file-validate" desktop-file-validate "$ROOT/usr/share/applications/korvex.desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net \
  "$ROOT/usr/share/metainfo/$APP_ID.metainfo.xml"

man_lint() {
  # mandoc finds the pages they refer to in the folder it runs in.
  mkdir -p "$WORK/man"
  local page
  for page in "$ROOT"/usr/share/man/man1/*.1.gz; do
    gzip -dc "$page" >"$WORK/man/$(basename "$page" .gz)"
  done
  (cd "$WORK/man" && mandoc -T lint ./*.1) && echo "mandoc -T lint: clean"
}
check "manual pages lint clean" man_lint

# ---- the programs, run from the unpacked tree as a user would

BIN=$ROOT/usr/bin
export HOME=$WORK/home
mkdir -p "$HOME"
unset XDG_DATA_HOME XDG_CONFIG_HOME LD_LIBRARY_PATH
for n in 1 2 3 4 5 6 7 8; do export "KORVEX_COM$n=/nonexistent/korvex-package-com$n"; done
export QT_QPA_PLATFORM=offscreen

versions() {
  local p out
  for p in korvex korvex-cli korvex-sim; do
    out=$(timeout 20 "$BIN/$p" --version) || return 1
    echo "$out"
    [ "$out" = "$p $VERSION" ] || return 1
  done
}
check "--version of the unpacked programs, without LD_LIBRARY_PATH" versions

LIBRARY=$HOME/.local/share/korvex/korvex.Dat
library_in_home() {
  convert -size 32x4 xc:red "$WORK/red.bmp" || return 1
  timeout 30 "$BIN/korvex-cli" capture "$WORK/red.bmp" --name red || return 1
  [ -s "$LIBRARY" ] || { echo "no $LIBRARY"; return 1; }
  timeout 30 "$BIN/korvex-cli" list | tee "$WORK/list"
  grep -qx "library: $LIBRARY" "$WORK/list" && grep -qx "001: red" "$WORK/list"
}
check "korvex-cli capture makes and list reads the library in HOME's data folder" library_in_home

send_to_sim() {
  # The simulator prints its pty once it serves.
  coproc SIM { exec "$BIN/korvex-sim" --quiet; }
  SIMULATOR=$SIM_PID
  local pty
  if ! IFS= read -r -t 10 pty <&"${SIM[0]}"; then
    echo "korvex-sim printed no pty"
    return 1
  fi
  echo "korvex-sim serves $pty"
  timeout 60 "$BIN/korvex-cli" send-pictures --device "$pty"
}
check "korvex-cli send-pictures reaches korvex-sim" send_to_sim

# ---- lintian

lintian_clean() {
  command -v lintian >/dev/null || { echo "lintian is not installed"; return 1; }
  lintian "$DEB" | tee "$WORK/lintian"
  ! grep -q '^E: ' "$WORK/lintian"
}
check "lintian: no error-level tag" lintian_clean

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
