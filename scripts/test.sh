#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three ways:
#   1. gcc, optimised with debug info (the benchmarks are built too, not run);
#   2. clang with AddressSanitizer and UndefinedBehaviorSanitizer, plus the fuzz targets,
#      each run for a bounded time over its seed corpus;
#   3. clang with ThreadSanitizer, the whole suite again (the reader thread, the logger).
# Any failure fails the whole run; the last line sums up all three.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
. scripts/packages.sh
ensure_packages "${PELOTUNE_BUILD_PACKAGES[@]}" "${PELOTUNE_TEST_PACKAGES[@]}" || exit 1

jobs=$(nproc)
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export QT_QPA_PLATFORM=offscreen

passed=0
failed=0
status=0

# run_suite NAME CTEST_ARGS -- CMAKE_ARGS...
run_suite() {
  local name=$1; shift
  local ctest_args=()
  while [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
  shift
  local dir="build/$name"
  echo "=== $name: configure and build"
  if ! cmake -S . -B "$dir" -G Ninja -DPELOTUNE_WERROR=ON "$@" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; echo "=== $name: configure FAILED"; status=1; failed=$((failed + 1)); return
  fi
  if ! cmake --build "$dir" -j "$jobs"; then
    echo "=== $name: build FAILED"; status=1; failed=$((failed + 1)); return
  fi
  echo "=== $name: tests"
  local log="$dir.ctest.log"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600 "${ctest_args[@]}" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad)); failed=$((failed + bad))
  elif [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  [ "$rc" -ne 0 ] && status=1
}

mkdir -p build
run_suite gcc -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DPELOTUNE_BENCH=ON
run_suite asan -- -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DPELOTUNE_SANITIZE=address,undefined -DPELOTUNE_FUZZ=ON
run_suite tsan -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DPELOTUNE_SANITIZE=thread

echo
echo "tests: $passed passed, $failed failed"
exit $status
