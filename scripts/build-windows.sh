#!/usr/bin/env bash
# Builds korvex for Windows: korvex.exe (the window), korvex-cli.exe and
# korvex_api.dll, cross-compiled with mingw-w64 against the Windows kit
# (scripts/windows-kit.sh makes or reuses it), Release, without tests and
# benchmarks. The programs land in build-windows/bin/ (or $KORVEX_WIN_OUT/bin).
#
#   scripts/build-windows.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${KORVEX_WIN_OUT:-$ROOT/build-windows}
START=$(date +%s)

KIT=$("$ROOT/scripts/windows-kit.sh" | tail -n1)
# The `windows` preset (CMakePresets.json, win/windows-toolchain.cmake).
(cd "$ROOT" && cmake --preset windows -B "$OUT" -DKORVEX_WINDOWS_KIT="$KIT")
cmake --build "$OUT" -j"${KORVEX_JOBS:-2}"
echo "windows programs: $OUT/bin ($(( $(date +%s) - START )) s)"
ls "$OUT/bin"
