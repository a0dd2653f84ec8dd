#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. This is what CI runs.
# ctest includes a smoke run of every benchmark (label bench_smoke: once,
# small, PA_BENCH_SMOKE=1), so a benchmark that crashes fails here too.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
BUILD="${PA_TEST_BUILD_DIR:-$ROOT/build-test}"
JOBS="${PA_JOBS:-$(nproc)}"

bash scripts/install-deps.sh

cmake -S . -B "$BUILD" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DCMAKE_C_FLAGS_DEBUG="-g1 -O1" \
  -DPA_SANITIZE=ON -DPA_BUILD_TESTS=ON -DPA_BUILD_BENCH=ON
cmake --build "$BUILD" -j "$JOBS"

export XDG_RUNTIME_DIR="$(mktemp -d)"
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
export LSAN_OPTIONS="suppressions=$ROOT/.ci/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

xvfb-run -a ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" --timeout 600

if [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh
fi
