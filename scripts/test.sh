#!/usr/bin/env bash
# Installs what is missing, checks the sources' formatting, builds with
# AddressSanitizer and UndefinedBehaviorSanitizer and warnings as errors
# into build-test/ and runs every test, then
# makes and checks the Debian package (scripts/test-package.sh).
# Any failure (a sanitizer report included) makes it exit non-zero.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/deps.sh

# The tracked C++ sources are formatted as .clang-format says; a file that
# is not fails here, before the build.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

# The asan preset (CMakePresets.json): build-test/, ASan and UBSan,
# the tests, warnings as errors.
BUILD=build-test
cmake --preset asan
cmake --build --preset asan

# No test may reach a real serial device (on some machines /dev/ttyS0 is
# the console): every port is aimed at a path that does not exist.
for n in 1 2 3 4 5 6 7 8; do
  export "KORVEX_COM$n=/nonexistent/korvex-test-com$n"
done
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

ctest --test-dir "$BUILD" --output-on-failure --timeout 300 --no-tests=error

# The Debian package, made and checked in build-package/.
bash scripts/test-package.sh

# Fuzz smoke run: each libFuzzer target for 20 s (skipped, with the reason
# printed, where clang or its fuzzer runtime is missing).
bash scripts/fuzz.sh 20

if [ -f scripts/test-windows.sh ]; then
  bash scripts/test-windows.sh
fi
# The Windows programs under Wine, beside the Linux ones (skipped, with how
# to make a kit, where there is no Windows kit).
bash scripts/test-windows-programs.sh
