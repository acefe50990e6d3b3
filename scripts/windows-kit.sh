#!/usr/bin/env bash
# Makes the Windows kit korvex's Windows programs are built against: Qt 6.4.2
# (Core, Gui, Widgets) and libjpeg-turbo 2.1.5, cross-built for
# x86_64-w64-mingw32 with the posix-threads compiler, plus the compiler's
# run-time DLLs and the toolchain file mingw64.cmake.
#
# The kit goes to $KORVEX_WINDOWS_KIT (default ~/.cache/korvex/windows-kit)
# and lands in its korvex-windows-kit/ folder. A ready tarball beside the
# repository (../shared/windows-kit/korvex-windows-kit.tar.xz) is unpacked
# when its SHA-256 matches the .sha256 beside it; otherwise the kit is built
# from Debian's source packages with the same recipe (about 25 minutes of 2
# cores). A kit already unpacked from the same tarball, or already built, is
# kept. Installs the cross compiler and the host tools when missing.
#
#   scripts/windows-kit.sh        prints the kit's folder on its last line
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
PREFIX=${KORVEX_WINDOWS_KIT:-$HOME/.cache/korvex/windows-kit}
SHARED=$ROOT/../shared/windows-kit
TARBALL=$SHARED/korvex-windows-kit.tar.xz
KIT=$PREFIX/korvex-windows-kit
STAMP=$PREFIX/stamp

need=()
for p in g++-mingw-w64-x86-64-posix qt6-base-dev-tools ninja-build xz-utils cmake; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
  echo "windows-kit: installing ${need[*]}" >&2
  SUDO=()
  [ "$(id -u)" = 0 ] || SUDO=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q >/dev/null
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

mkdir -p "$PREFIX"
kit_ok() { [ -f "$KIT/mingw64.cmake" ] && [ -f "$KIT/lib/cmake/Qt6/qt.toolchain.cmake" ]; }

if [ -f "$TARBALL" ] && [ -f "$TARBALL.sha256" ]; then
  want=$(awk '{print $1; exit}' "$TARBALL.sha256")
  have=$(sha256sum "$TARBALL" | awk '{print $1}')
  if [ "$want" = "$have" ]; then
    if kit_ok && [ "$(cat "$STAMP" 2>/dev/null)" = "unpacked $want" ]; then
      echo "windows-kit: kept (unpacked from $want)" >&2
    else
      echo "windows-kit: unpacking $TARBALL" >&2
      rm -rf "$KIT" "$STAMP"
      tar -C "$PREFIX" -xJf "$TARBALL"
      kit_ok || { echo "windows-kit: $TARBALL did not unpack to a kit" >&2; exit 1; }
      echo "unpacked $want" >"$STAMP"
    fi
    echo "$KIT"
    exit 0
  fi
  echo "windows-kit: $TARBALL does not match its digest ($have, not $want); building from source" >&2
fi

if kit_ok && [ "$(cat "$STAMP" 2>/dev/null)" = "built" ]; then
  echo "windows-kit: kept (built)" >&2
  echo "$KIT"
  exit 0
fi
rm -rf "$KIT" "$STAMP"
"$ROOT/scripts/windows-kit-build.sh" "$PREFIX"
kit_ok || { echo "windows-kit: the build left no kit in $KIT" >&2; exit 1; }
echo "built" >"$STAMP"
echo "$KIT"
