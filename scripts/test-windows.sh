#!/usr/bin/env bash
# Builds korvex_api.dll for Windows (x86_64 and i686) with mingw-w64 and runs
# the link cases under Wine against a controller on a pseudo-terminal, next to
# the same cases against the Linux library. Installs the cross compilers and
# Wine when they are missing. Prints "windows: N passed, N failed, N skipped"
# and exits non-zero when a case fails.
#
#   scripts/test-windows.sh            (build dirs under build-win/)
#   KORVEX_WIN_BUILD=/tmp/bw scripts/test-windows.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KORVEX_WIN_BUILD:-$ROOT/build-win}
START=$(date +%s)

need=()
command -v x86_64-w64-mingw32-g++-win32 >/dev/null || need+=(g++-mingw-w64-x86-64-win32)
command -v i686-w64-mingw32-g++-win32 >/dev/null || need+=(g++-mingw-w64-i686-win32)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
command -v python3 >/dev/null || need+=(python3)
command -v cmake >/dev/null || need+=(cmake make g++)
if ((${#need[@]})); then
    echo "== installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    SUDO=
    [ "$(id -u)" = 0 ] || SUDO="sudo -n"
    timeout 300 $SUDO apt-get update -qq
    timeout 600 $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== building korvex_api.dll (x86_64, i686) and the Linux library"
build() {  # dir [toolchain]
    local dir=$1; shift
    cmake -S "$ROOT/win" -B "$BUILD/$dir" "$@" >"$BUILD/$dir.configure.log" 2>&1 ||
        { cat "$BUILD/$dir.configure.log"; return 1; }
    cmake --build "$BUILD/$dir" -j2 >"$BUILD/$dir.build.log" 2>&1 ||
        { cat "$BUILD/$dir.build.log"; return 1; }
    if grep -q "warning:" "$BUILD/$dir.build.log"; then
        grep "warning:" "$BUILD/$dir.build.log"
    fi
}
mkdir -p "$BUILD"
build x86_64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/win/toolchain-x86_64-w64-mingw32.cmake"
build i686 -DCMAKE_TOOLCHAIN_FILE="$ROOT/win/toolchain-i686-w64-mingw32.cmake"
build linux
# The Linux library itself and korvex-sim, from the main project, to run the
# same cases against both libraries and against the simulator.
sim_args=()
if cmake -S "$ROOT" -B "$BUILD/host" -DKORVEX_GUI=OFF -DKORVEX_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$BUILD/host.configure.log" 2>&1 &&
   cmake --build "$BUILD/host" -j2 --target korvex_api korvex-sim >"$BUILD/host.build.log" 2>&1; then
    sim_args=(--linux-lib "$BUILD/host/bin/libkorvex_api.so" --sim "$BUILD/host/bin/korvex-sim")
else
    echo "   NOTE: the Linux library and korvex-sim did not build (see $BUILD/host.*.log);"
    echo "   the cases run against the peer only, compared with build-win/linux"
fi
echo "   $BUILD/x86_64/korvex_api.dll"
echo "   $BUILD/i686/korvex_api.dll (build-only: this kernel cannot run 32-bit programs)"
echo "   installs and builds took $(( $(date +%s) - START )) s"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvex-wine.XXXXXX")
cleanup() {
    # The cases stop their own server; this catches an interrupted run.
    if [ -d "$WORK/prefix" ]; then
        WINEPREFIX="$WORK/prefix" timeout 20 /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

echo "== cases under Wine (WINEPREFIX=$WORK/prefix)"
rc=0
timeout -k 10 420 python3 "$ROOT/tests/win/run_cases.py" --build "$BUILD" --work "$WORK" \
    ${sim_args[@]+"${sim_args[@]}"} || rc=$?
if [ "$rc" = 0 ]; then
    rm -rf "$WORK"
elif [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
    echo "logs kept in $WORK"
    echo "windows: 0 passed, 1 failed (the cases ran out of time)"
fi
exit "$rc"
