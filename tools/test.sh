#!/usr/bin/env bash
# Installs what is missing, then checks the format and builds and runs every test:
#   0. every tracked C++ file in the house format (.clang-format at the root), and every
#      include keeping to the layers (tools/check-includes.sh); either failing stops the run,
#   1. the normal build (warnings on) and all its tests, then its Debian package built and
#      checked (tools/check-package.sh),
#   2. AddressSanitizer + UndefinedBehaviorSanitizer build and all tests,
#   3. ThreadSanitizer build of the threaded parts (serial port, simulated sensor, console form,
#      recorder)
#      and their tests,
#   4. the libFuzzer targets (clang), each for a short fixed time,
#   5. the Windows build (MinGW-w64: the Qt-free libraries, their tests, kelta-imgcheck,
#      kelta-render-dial, kelta-record, the native console, its zip and its setup program) with
#      its tests under Wine, the serial port and kelta-record.exe against the Linux simulated
#      sensor (--mqtt: into the Linux mosquitto, plain and TLS, through the broker's restart),
#      kelta-imgcheck.exe and kelta-render-dial.exe compared with the Linux ones, the
#      setup program installed, run against the simulated sensor and removed again.
# Ends with one line "tests: N passed, N failed", counting GoogleTest cases of every build and
# fuzz targets; a test program that crashes or fails outside its cases counts as one failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${KELTA_JOBS:-$(nproc)}
fuzz_seconds=${KELTA_FUZZ_SECONDS:-20}

bash tools/setup-deps.sh
# The Node.js consumers the recorder's tests publish to (npm registry); the console needs none.
bash tools/setup-node-deps.sh

# Every compilation goes through ccache, its cache kept on the machine between runs: a run
# after a small change recompiles only what changed. Paths are hashed relative to the
# repository and the working folder is left out, so another clone of the tree at another path
# hits the same entries. An empty or missing cache only makes the run slower.
if [ -z "${CCACHE_DIR:-}" ]; then
  CCACHE_DIR=/var/cache/kelta-ccache
  if ! { mkdir -p "$CCACHE_DIR" 2>/dev/null && [ -w "$CCACHE_DIR" ]; }; then
    CCACHE_DIR="${XDG_CACHE_HOME:-$HOME/.cache}/kelta-ccache"
  fi
fi
export CCACHE_DIR CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# One test program per core: with more side by side, a terminal number one program frees
# (a sensor unplugged while its link stays) is taken by another's terminal more often, and a
# console waiting on that link then talks to the other program's sensor.
ctest_jobs=${KELTA_CTEST_JOBS:-$jobs}

passed=0
failed=0

# The format check: clang-format (Debian's clang-format package) on every tracked C++ file.
# A file out of format stops the run at once.
check_format() {
  local files=()
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
  if clang-format --dry-run -Werror "${files[@]}"; then
    echo "format: ${#files[@]} files in the house format"
  else
    echo "format: FAILED (run clang-format -i on the files named above)"
    exit 1
  fi
}

# Adds the GoogleTest cases of one ctest run to passed/failed. Every program writes its cases
# to results/<program>.xml (GTEST_OUTPUT); ctest's own line for the program says whether it
# ended well. A program that failed with no failed case in its report (a crash, a sanitizer
# report, a time-out, no report at all) counts as one failed case more.
count_cases() { # ctest-output-file results-dir
  local line name status xml root total failures errors disabled skipped
  while IFS= read -r line; do
    # "1/9 Test  #3: test_sim ....   Passed    5.02 sec", or "***Failed", "***Timeout",
    # "***Exception: SegFault", "***Not Run" ... in place of Passed.
    [[ $line =~ Test\ +#[0-9]+:\ ([^ ]+)\ (.*)$ ]] || continue
    name=${BASH_REMATCH[1]}
    status=$(sed -E 's/^[. ]*(\*\*\*)?//; s/ +[0-9.]+ sec.*$//' <<<"${BASH_REMATCH[2]}")
    xml="$2/$name.xml"
    failures=0
    errors=0
    if [ -f "$xml" ]; then
      root=$(grep -m 1 -o '<testsuites [^>]*>' "$xml" || true)
      total=$(sed -nE 's/.* tests="([0-9]+)".*/\1/p' <<<"$root")
      failures=$(sed -nE 's/.* failures="([0-9]+)".*/\1/p' <<<"$root")
      errors=$(sed -nE 's/.* errors="([0-9]+)".*/\1/p' <<<"$root")
      disabled=$(sed -nE 's/.* disabled="([0-9]+)".*/\1/p' <<<"$root")
      skipped=$(grep -c 'result="skipped"' "$xml" || true)
      passed=$((passed + ${total:-0} - ${failures:-0} - ${errors:-0} - ${disabled:-0} - skipped))
      failed=$((failed + ${failures:-0} + ${errors:-0}))
    fi
    if [ "$status" != "Passed" ] && [ $((${failures:-0} + ${errors:-0})) -eq 0 ]; then
      echo "$name: $status outside its test cases"
      failed=$((failed + 1))
    fi
  done <"$1"
}

run_ctest() { # build-dir [programs at once]
  local out results rc=0
  out=$(mktemp)
  results="$1/test-results"
  rm -rf "$results"
  mkdir -p "$results"
  # KELTA_CTEST_ARGS: more ctest arguments, for example "-R test_sim" to run some programs only.
  # shellcheck disable=SC2086
  (cd "$1" && GTEST_OUTPUT="xml:$(pwd)/test-results/" \
    ctest --output-on-failure -j "${2:-$ctest_jobs}" ${KELTA_CTEST_ARGS:-}) 2>&1 | tee "$out" || rc=$?
  count_cases "$out" "$results"
  # ctest itself failing before any program ran still fails the run.
  if [ "$rc" -ne 0 ] && ! grep -qE 'Test +#[0-9]+:' "$out"; then failed=$((failed + 1)); fi
  rm -f "$out"
}

# Warnings are errors in every configuration CI builds, the Windows one included.
export KELTA_WARNINGS_AS_ERRORS=1
configure_build() { # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" \
    >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# With KELTA_COUNT_ONLY=<build-dir> only the test programs of that build run and are counted
# (the build and the other steps are left out).
if [ -n "${KELTA_COUNT_ONLY:-}" ]; then
  run_ctest "$KELTA_COUNT_ONLY"
  echo "tests: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi

echo "== format"
check_format

# The layer rule of docs/ARCHITECTURE.md: a breach stops the run at once too.
echo "== includes"
bash tools/check-includes.sh

echo "== normal build"
configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_ctest build

echo "== Debian package"
# The normal build's package: its files, launcher and metadata validated, and its programs run
# from an unpacked copy (tools/check-package.sh); each check counts as a case.
pkg_out=$(mktemp)
bash tools/check-package.sh build 2>&1 | tee "$pkg_out" || true
pkg_counts=$(sed -nE 's/^package: ([0-9]+) checks passed, ([0-9]+) failed$/\1 \2/p' "$pkg_out")
if [ -n "$pkg_counts" ]; then
  passed=$((passed + ${pkg_counts% *}))
  failed=$((failed + ${pkg_counts#* }))
else
  echo "package: the check ended early"
  failed=$((failed + 1))
fi
rm -f "$pkg_out"

echo "== address + undefined sanitizers"
configure_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DKELTA_SANITIZE=address,undefined -DKELTA_BENCH=OFF
run_ctest build-asan

echo "== thread sanitizer (serial port, simulated sensor, console form, recorder)"
configure_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DKELTA_SANITIZE=thread -DKELTA_THREADS_ONLY=ON
run_ctest build-tsan

echo "== fuzzers (${fuzz_seconds}s each)"
CC=clang CXX=clang++ configure_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELTA_FUZZ=ON
# Each target is one process on one core: as many run at once as there are cores.
fuzzers=()
running=0
for f in build-fuzz/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  # An input that makes a target allocate more than 512 MB at once is a finding (a 44-byte
  # picture once asked for 2 GB). The receive decoder's inputs may be long enough to pass its
  # 64 KiB buffer cap, with room for the bytes that choose how the stream is cut, from the
  # first run on (libFuzzer otherwise lets lengths grow slowly, to a few hundred bytes here).
  limits=(-malloc_limit_mb=512)
  [ "$name" != fuzz_decoder ] || limits+=(-max_len=262144 -len_control=0)
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
  rm -f "build-fuzz/$name.rc"
  # shellcheck disable=SC2086
  { rc=0; "$f" -max_total_time="$fuzz_seconds" -print_final_stats=1 "${limits[@]}" "$corpus" \
    $seeds >"build-fuzz/$name.log" 2>&1 || rc=$?; echo "$rc" >"build-fuzz/$name.rc"; } &
  running=$((running + 1))
  fuzzers+=("$name")
done
wait
for name in "${fuzzers[@]}"; do
  if [ "$(cat "build-fuzz/$name.rc" 2>/dev/null)" = 0 ]; then
    echo "$name: $(grep -E 'stat::number_of_executed_units' "build-fuzz/$name.log" | awk '{print $2}') executions, no crash"
    passed=$((passed + 1))
  else
    echo "$name: FAILED"; tail -n 40 "build-fuzz/$name.log"
    failed=$((failed + 1))
  fi
done

echo "== Windows build, tests under Wine"
# tools/package-windows.sh builds through tools/build-windows.sh (which installs what it lacks)
# and checks the operator's zip; the Linux kelta-imgcheck of the normal build is the one the
# Windows tool is compared with, and its kelta-sim the sensor the Windows serial port talks to.
KELTA_JOBS="$jobs" KELTA_LINUX_IMGCHECK="$root/build/bin/kelta-imgcheck" \
  KELTA_LINUX_SIM="$root/build/bin/kelta-sim" bash tools/package-windows.sh
# Under Wine each program also starts a Windows system of its own: one per core only.
run_ctest build-win64 "$jobs"

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
