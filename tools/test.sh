#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the normal build (warnings on) and all its tests,
#   2. AddressSanitizer + UndefinedBehaviorSanitizer build and all tests,
#   3. ThreadSanitizer build of the threaded parts (serial port, simulated sensor) and their tests,
#   4. the libFuzzer targets (clang), each for a short fixed time.
# Ends with one line "tests: N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KELTA_JOBS:-$(nproc)}
fuzz_seconds=${KELTA_FUZZ_SECONDS:-20}

bash tools/setup-deps.sh

passed=0
failed=0
run_ctest() { # build-dir
  local out rc=0
  out=$(mktemp)
  (cd "$1" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$out" || rc=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1 || true)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
  elif [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  rm -f "$out"
}

configure_build() { # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== normal build"
configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_ctest build

echo "== address + undefined sanitizers"
configure_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DKELTA_SANITIZE=address,undefined -DKELTA_BENCH=OFF
run_ctest build-asan

echo "== thread sanitizer (serial port and simulated sensor)"
configure_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DKELTA_SANITIZE=thread -DKELTA_THREADS_ONLY=ON
run_ctest build-tsan

echo "== fuzzers (${fuzz_seconds}s each)"
CC=clang CXX=clang++ configure_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELTA_FUZZ=ON
for f in build-fuzz/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  if "$f" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" $seeds >"build-fuzz/$name.log" 2>&1; then
    echo "$name: $(grep -E 'stat::number_of_executed_units' "build-fuzz/$name.log" | awk '{print $2}') executions, no crash"
    passed=$((passed + 1))
  else
    echo "$name: FAILED"; tail -n 40 "build-fuzz/$name.log"
    failed=$((failed + 1))
  fi
done

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
