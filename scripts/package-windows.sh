#!/usr/bin/env bash
# Makes korvex's Windows downloads from the Windows build (scripts/build-windows.sh,
# run first so the programs are current):
#   korvex-<version>-win64.zip   the portable folder korvex-<version>-win64/:
#                                the programs, the DLLs and Qt plugins they load,
#                                the README and the licences
#   korvex-<version>-setup.exe   a 64-bit NSIS installer of the same files into
#                                Program Files (win/installer.nsi)
# Every DLL a program or plugin in the folder imports is either in the folder
# or a Windows system DLL; anything else stops the script. Installs zip, nsis
# and the mingw-w64 binutils when missing.
#
#   scripts/package-windows.sh [OUT]      OUT defaults to build-windows/package
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KORVEX_WIN_OUT:-$ROOT/build-windows}
OUT=$(mkdir -p "${1:-$BUILD/package}" && cd "${1:-$BUILD/package}" && pwd)
START=$(date +%s)

need=()
command -v zip >/dev/null || need+=(zip)
command -v makensis >/dev/null || need+=(nsis)
command -v x86_64-w64-mingw32-objdump >/dev/null || need+=(binutils-mingw-w64-x86-64)
if ((${#need[@]})); then
  echo "package-windows: installing ${need[*]}"
  SUDO=()
  [ "$(id -u)" = 0 ] || SUDO=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q >/dev/null
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

VERSION=$(sed -n 's/^project(korvex VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
[ -n "$VERSION" ] || { echo "package-windows: no version in CMakeLists.txt"; exit 1; }
NAME=korvex-$VERSION-win64

echo "== building (scripts/build-windows.sh)"
KORVEX_WIN_OUT=$BUILD "$ROOT/scripts/build-windows.sh" >"$OUT/build.log" 2>&1 ||
  { cat "$OUT/build.log"; exit 1; }
KIT=$("$ROOT/scripts/windows-kit.sh" 2>/dev/null | tail -n1)
BIN=$BUILD/bin

DIR=$OUT/$NAME
rm -rf "$DIR" "$OUT/$NAME.zip" "$OUT/korvex-$VERSION-setup.exe"
mkdir -p "$DIR"/{platforms,styles,imageformats,translations,licences}

cp "$BIN"/korvex.exe "$BIN"/korvex-cli.exe "$BIN"/korvex_api.dll "$DIR/"
cp "$KIT/plugins/platforms/qwindows.dll" "$DIR/platforms/"
cp "$KIT/plugins/styles/qwindowsvistastyle.dll" "$DIR/styles/"
cp "$KIT"/plugins/imageformats/{qjpeg,qgif,qico}.dll "$DIR/imageformats/"
# Qt's own dialogs (the open-picture dialog's buttons) in Chinese, as on Linux.
if [ -f /usr/share/qt6/translations/qtbase_zh_CN.qm ]; then
  cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$DIR/translations/"
else
  rmdir "$DIR/translations"
fi

# The DLLs a module imports, one lower-case name a line.
imports() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'
}
# Windows' own DLLs, which no program ships: the API sets and the system's.
system_dll() {
  case "$1" in
  api-ms-win-*.dll | ext-ms-win-*.dll) return 0 ;;
  advapi32.dll | authz.dll | bcrypt.dll | cfgmgr32.dll | comctl32.dll | comdlg32.dll | crypt32.dll | \
    d2d1.dll | d3d11.dll | d3d9.dll | dwmapi.dll | dwrite.dll | dxgi.dll | gdi32.dll | imm32.dll | \
    kernel32.dll | msvcrt.dll | mpr.dll | netapi32.dll | ntdll.dll | ole32.dll | oleaut32.dll | \
    setupapi.dll | shcore.dll | shell32.dll | shlwapi.dll | user32.dll | userenv.dll | uxtheme.dll | version.dll | \
    winmm.dll | ws2_32.dll | wtsapi32.dll) return 0 ;;
  esac
  return 1
}
# Copies the kit's DLLs the folder's modules import, and what those import.
for _ in 1 2 3 4; do
  while IFS= read -r dll; do
    system_dll "$dll" && continue
    [ -n "$(find "$DIR" -maxdepth 1 -iname "$dll")" ] && continue
    src=$(find "$KIT/bin" "$KIT/runtime" -maxdepth 1 -iname "$dll" | head -n1)
    [ -n "$src" ] && cp "$src" "$DIR/"
  done < <(find "$DIR" -iname '*.exe' -o -iname '*.dll' | while read -r m; do imports "$m"; done | sort -u)
done
# The check: every import of every module is in the folder or Windows' own.
missing=0
while IFS= read -r module; do
  while IFS= read -r dll; do
    system_dll "$dll" && continue
    [ -n "$(find "$DIR" -maxdepth 1 -iname "$dll")" ] && continue
    echo "package-windows: ${module#"$DIR"/} imports $dll, which is neither in the folder nor Windows' own"
    missing=1
  done < <(imports "$module")
done < <(find "$DIR" -iname '*.exe' -o -iname '*.dll' | sort)
[ "$missing" = 0 ] || exit 1

# Texts, with Windows line ends so that any editor shows them.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
crlf "$ROOT/README.md" "$DIR/README.txt"
crlf "$ROOT/win/licences/README.txt" "$DIR/licences/README.txt"
crlf "$ROOT/docs/copyright" "$DIR/licences/COPYRIGHT.txt"
crlf "$ROOT/win/licences/Qt.txt" "$DIR/licences/Qt.txt"
crlf /usr/share/common-licenses/LGPL-3 "$DIR/licences/LGPL-3.txt"
crlf /usr/share/common-licenses/GPL-3 "$DIR/licences/GPL-3.txt"
crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$DIR/licences/gcc-runtime.txt"
crlf /usr/share/doc/mingw-w64-common/copyright "$DIR/licences/mingw-w64.txt"
if [ -f "$DIR/libjpeg-62.dll" ]; then
  cat "$KIT/share/doc/libjpeg-turbo/LICENSE.md" "$KIT/share/doc/libjpeg-turbo/README.ijg" >"$OUT/jpeg.txt"
  crlf "$OUT/jpeg.txt" "$DIR/licences/libjpeg-turbo.txt"
  rm "$OUT/jpeg.txt"
fi

(cd "$OUT" && find "$NAME" -type f | LC_ALL=C sort | zip -q -X "$NAME.zip" -@)

# The installer's file list, written out for installer.nsi: each file
# installed by name and deleted by name, each folder removed only when empty.
NSH=$OUT/nsis
rm -rf "$NSH" && mkdir -p "$NSH"
win() { printf '%s' "${1//\//\\}"; }
{
  for d in "" $(cd "$DIR" && find . -mindepth 1 -type d | sed 's|^\./||' | LC_ALL=C sort); do
    echo "SetOutPath \"\$INSTDIR${d:+\\$(win "$d")}\""
    (cd "$DIR/$d" && find . -maxdepth 1 -type f | sed 's|^\./||' | LC_ALL=C sort) |
      while IFS= read -r f; do echo "File \"$DIR/${d:+$d/}$f\""; done
  done
} >"$NSH/install.nsh"
{
  (cd "$DIR" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) |
    while IFS= read -r f; do echo "Delete \"\$INSTDIR\\$(win "$f")\""; done
  (cd "$DIR" && find . -mindepth 1 -type d | sed 's|^\./||' | LC_ALL=C sort -r) |
    while IFS= read -r d; do echo "RMDir \"\$INSTDIR\\$(win "$d")\""; done
} >"$NSH/uninstall.nsh"

makensis -V2 -DVERSION="$VERSION" -DFILES="$NSH" -DICON="$BUILD/host/korvex.ico" \
  -DOUTFILE="$OUT/korvex-$VERSION-setup.exe" "$ROOT/win/installer.nsi" >"$OUT/makensis.log" 2>&1 ||
  { cat "$OUT/makensis.log"; exit 1; }

echo "package-windows: $(find "$DIR" -type f | wc -l) files in $NAME/ ($(( $(date +%s) - START )) s)"
ls -l "$OUT/$NAME.zip" "$OUT/korvex-$VERSION-setup.exe"
