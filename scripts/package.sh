#!/usr/bin/env bash
# Installs what is missing, builds the installed layout (Release, no tests,
# no sanitizers) into build-package/ and makes the Debian package
# build-package/korvex_<version>_amd64.deb. Safe to run again.
#
#   scripts/package.sh
#   sudo apt-get install ./build-package/korvex_*_amd64.deb
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/deps.sh

BUILD=${BUILD:-build-package}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD" -DKORVEX_LAYOUT=installed -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_BUILD_TYPE=Release -DKORVEX_TESTS=OFF -DKORVEX_SANITIZE=OFF -DKORVEX_BENCH=OFF \
  ${launcher[@]+"${launcher[@]}"}
cmake --build "$BUILD" -j2
rm -f "$BUILD"/korvex_*.deb
(cd "$BUILD" && cpack -G DEB)
ls "$BUILD"/korvex_*_amd64.deb
