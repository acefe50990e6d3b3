#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang into build-fuzz/ and
# runs each in turn for SECONDS (default 20), starting from its seed corpus
# tests/fuzz/corpus/<target>/. Inputs that add coverage are kept in
# build-fuzz/corpus/<target>/, crashing inputs in build-fuzz/crashes/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     # targets: library_file readback profile gbk_text jpeg bmp png show
#
# Without clang or its fuzzer runtime it prints why and exits 0.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

SECONDS_EACH=${1:-20}
shift || true
TARGETS=("$@")
if ((${#TARGETS[@]} == 0)); then
  TARGETS=(library_file readback profile gbk_text jpeg bmp png show)
fi

if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
  echo "fuzz: skipped, clang is not installed (scripts/deps.sh installs it)"
  exit 0
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  echo "fuzz: skipped, clang cannot link -fsanitize=fuzzer (package libclang-rt-14-dev)"
  exit 0
fi

BUILD=build-fuzz
# The fuzz preset (CMakePresets.json): clang, KORVEX_FUZZ, no tests.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target $(printf 'fuzz_%s ' "${TARGETS[@]}")

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$BUILD/crashes"
for t in "${TARGETS[@]}"; do
  mkdir -p "$BUILD/corpus/$t"
  echo "fuzz: $t for ${SECONDS_EACH} s"
  "$BUILD/bin/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$BUILD/crashes/$t-" \
    "$BUILD/corpus/$t" "tests/fuzz/corpus/$t" 2>"$BUILD/fuzz_$t.log" ||
    { tail -n 40 "$BUILD/fuzz_$t.log"; echo "fuzz: $t failed"; exit 1; }
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units' "$BUILD/fuzz_$t.log" || true
done
echo "fuzz: every target ran ${SECONDS_EACH} s without a finding"
