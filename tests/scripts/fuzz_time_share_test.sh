#!/usr/bin/env bash
# scripts/fuzz.sh with the build replaced by stand-ins: a "cmake" that does
# nothing and, for every target the script finds, a fuzzer that records the
# time it was given. Checks that all targets share one total time, that each
# target runs once, and that a finding fails the stage without skipping the
# targets after it.
set -euo pipefail
SRC="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/path"
printf '#!/bin/sh\nexit 0\n' > "$work/path/cmake"
chmod +x "$work/path/cmake"

targets=()
for f in "$SRC"/fuzz/*.cpp; do
  targets+=("$(basename "$f" .cpp)")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $SRC/fuzz"; exit 1; }

fail=0
odd=$((2 * ${#targets[@]} + 1))
# total given (empty: the default) | total expected | target that finds a problem
for row in "|120|" "30|30|" "$odd|$odd|${targets[0]}"; do
  IFS='|' read -r given total failing <<< "$row"
  build="$work/build-$total"
  mkdir -p "$build/bin/fuzz"
  for t in "${targets[@]}"; do
    code=0
    [ "$t" = "$failing" ] && code=1
    cat > "$build/bin/fuzz/$t" <<STUB
#!/bin/sh
for a in "\$@"; do
  case "\$a" in -max_total_time=*) echo "$t \${a#-max_total_time=}" >> "$build/runs" ;; esac
done
exit $code
STUB
    chmod +x "$build/bin/fuzz/$t"
  done

  status=0
  if [ -n "$given" ]; then
    PATH="$work/path:$PATH" PA_FUZZ_BUILD_DIR="$build" PA_FUZZ_TOTAL_SECONDS="$given" \
      bash "$SRC/scripts/fuzz.sh" > "$build/out" 2>&1 || status=$?
  else
    env -u PA_FUZZ_TOTAL_SECONDS PATH="$work/path:$PATH" PA_FUZZ_BUILD_DIR="$build" \
      bash "$SRC/scripts/fuzz.sh" > "$build/out" 2>&1 || status=$?
  fi

  sum=0
  for t in "${targets[@]}"; do
    runs=$(grep -c "^$t " "$build/runs" || true)
    if [ "$runs" != 1 ]; then
      echo "total $total: $t ran $runs times"; fail=1
    fi
  done
  while read -r _ s; do
    if [ "$s" -lt 1 ]; then echo "total $total: a target got $s s"; fail=1; fi
    sum=$((sum + s))
  done < "$build/runs"
  if [ "$sum" -gt "$total" ] || [ "$sum" -lt $((total - ${#targets[@]})) ]; then
    echo "total $total: targets were given $sum s in all"; fail=1
  fi
  if [ -n "$failing" ] && [ "$status" = 0 ]; then
    echo "total $total: a finding of $failing did not fail the stage"; fail=1
  fi
  if [ -z "$failing" ] && [ "$status" != 0 ]; then
    echo "total $total: the stage failed without a finding (status $status)"; cat "$build/out"; fail=1
  fi
done
exit $fail
