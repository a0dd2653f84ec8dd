#!/usr/bin/env bash
# Builds every libFuzzer target in fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each one on its seed corpus
# (fuzz/corpus/<target name without "fuzz_">). Any finding fails the script.
# The fuzzing time is one fixed total, PA_FUZZ_TOTAL_SECONDS (default 120),
# shared evenly by every target found (at least 1 s each), so the stage takes
# no longer as targets are added.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
BUILD="${PA_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
JOBS="${PA_JOBS:-$(nproc)}"
TOTAL_SECONDS="${PA_FUZZ_TOTAL_SECONDS:-120}"
if ! [[ "$TOTAL_SECONDS" =~ ^[0-9]+$ ]] || [ "$TOTAL_SECONDS" -lt 1 ]; then
  echo "fuzz.sh: PA_FUZZ_TOTAL_SECONDS must be a whole number of seconds, not '$TOTAL_SECONDS'" >&2
  exit 2
fi

targets=()
for src in fuzz/*.cpp; do
  [ -e "$src" ] || continue
  targets+=("$(basename "$src" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets"
  exit 0
fi

SECONDS_PER_TARGET=$(( TOTAL_SECONDS / ${#targets[@]} ))
if [ "$SECONDS_PER_TARGET" -lt 1 ]; then
  SECONDS_PER_TARGET=1
fi
echo "fuzz.sh: ${#targets[@]} targets, ${SECONDS_PER_TARGET}s each (${TOTAL_SECONDS}s in all)"

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DCMAKE_C_FLAGS_DEBUG="-g1 -O1" \
  -DPA_SANITIZE=ON -DPA_BUILD_TESTS=OFF -DPA_BUILD_BENCH=OFF -DPA_BUILD_FUZZ=ON
# Only the fuzz targets and what they link, never the whole program.
cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
if [ -f "$ROOT/.ci/lsan.supp" ]; then
  export LSAN_OPTIONS="suppressions=$ROOT/.ci/lsan.supp:print_suppressions=0"
fi

status=0
for t in "${targets[@]}"; do
  seeds="$ROOT/fuzz/corpus/${t#fuzz_}"
  work="$(mktemp -d)"
  artifacts="$BUILD/fuzz-artifacts/$t"
  mkdir -p "$artifacts"
  if [ -d "$seeds" ]; then
    cp -r "$seeds/." "$work/"
  fi
  echo "fuzz.sh: $t for ${SECONDS_PER_TARGET}s"
  # The working corpus lives in a temporary folder so the seeds in the tree
  # stay small; findings land in $artifacts.
  if ! "$BUILD/bin/fuzz/$t" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" > "$BUILD/fuzz-$t.log" 2>&1; then
    echo "fuzz.sh: $t found a problem (log: $BUILD/fuzz-$t.log, input in $artifacts)"
    tail -n 60 "$BUILD/fuzz-$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|cov:" "$BUILD/fuzz-$t.log" | tail -n 2 || true
  fi
  rm -rf "$work"
done
exit $status
