#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three ways:
#   1. gcc, optimised with debug info (the benchmarks are built too, not run);
#   2. clang with AddressSanitizer and UndefinedBehaviorSanitizer, plus the fuzz targets,
#      each run for a bounded time over its seed corpus;
#   3. clang with ThreadSanitizer, the whole suite again (the reader thread, the logger).
# Every suite runs inside its own virtual X server (Xvfb) with Mesa's software renderer, so the tests
# labelled gl get a real OpenGL context; in CI (CI=true) such a test fails when none can be had.
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
export LIBGL_ALWAYS_SOFTWARE=1
# Turns a GL test's skip for want of a display or context into a failure.
if [ "${CI:-}" = true ]; then
  export PELOTUNE_REQUIRE_GL=1
fi
# A server number of its own to start from: xvfb-run -a alone races with other runs on the machine.
# -noreset: by default the server resets when its last client leaves, and a test process that
# connects in that moment, between two others of a parallel run, finds no display.
xvfb=(xvfb-run -a -n $((100 + RANDOM % 800)) -s "-noreset -screen 0 1280x1024x24")

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
  "${xvfb[@]}" ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600 "${ctest_args[@]}" 2>&1 | tee "$log"
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
echo "=== OpenGL under Xvfb"
if ! "${xvfb[@]}" glxinfo -B; then
  echo "=== no OpenGL context under Xvfb: the gl tests cannot run"
fi
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
