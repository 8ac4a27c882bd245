#!/usr/bin/env bash
# The whole check: dependencies, a build with every test (unit and lab), the
# unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# threaded tests under ThreadSanitizer, and the Windows stage (Tidewell.dll
# and its tests under Wine). Stops at the first failure, non-zero.
#   TIDEWELL_SKIP_DEPS=1  do not install packages
#   TIDEWELL_WIN=0        leave out the Windows stage
#   JOBS=N                parallel build and unit-test jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS=${JOBS:-2}
LOGS=$(mktemp -d /tmp/tidewell-test.XXXXXX)
trap 'rm -rf "$LOGS"' EXIT

if [ "${TIDEWELL_SKIP_DEPS:-0}" != 1 ]; then
  bash scripts/install-deps.sh
fi

step() { echo; echo "=== $* ($(date +%H:%M:%S))"; }

# build FOLDER CMAKE-OPTIONS...
build() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$folder" -j"$JOBS"
}

# run_ctest NAME FOLDER CTEST-OPTIONS...: ctest's output, closing line
# included, is shown and kept for the summary.
run_ctest() {
  local name=$1 folder=$2
  shift 2
  "${PREFIX[@]}" ctest --test-dir "$folder" --output-on-failure "$@" 2>&1 | tee "$LOGS/$name.log"
}

PREFIX=(env)
step "build and all tests (unit and lab)"
build build-ci
# Lab tests run one at a time (RUN_SERIAL), the unit tests beside each other.
run_ctest all build-ci --no-tests=error -j"$JOBS"

step "speed: the agent beside the libpcap read limit, tcpdump and arpwatch (short; scripts/bench.sh runs the full one)"
speed_rc=0
bash scripts/bench.sh --short --build build-ci --no-build || speed_rc=$?
[ "$speed_rc" = 0 ] || [ "$speed_rc" = 77 ] || exit "$speed_rc"

step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
build build-asan -DTIDEWELL_SANITIZE=ON
PREFIX=(env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
run_ctest asan build-asan --no-tests=error -L unit -j"$JOBS"

step "threaded tests under ThreadSanitizer"
build build-tsan -DTIDEWELL_TSAN=ON
PREFIX=(env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp)
# ThreadSanitizer cannot map its shadow memory under the high address
# randomisation of some kernels; without randomisation it always can.
if setarch "$(uname -m)" -R true 2>/dev/null; then PREFIX=(setarch "$(uname -m)" -R "${PREFIX[@]}"); fi
run_ctest tsan build-tsan -L unit -R 'Concurrency|Thread' -j"$JOBS"

step "the other threaded areas under ThreadSanitizer: guard and refresher, probe threads, audit store, alarm layer, floods, replay read-ahead"
run_ctest tsan-areas build-tsan --no-tests=error -L unit -R 'Guard|Probe|Refresher|Audit|Alarm|AttackLog|Flood|ReadAhead|CaptureBatch' \
  -E 'Concurrency|Thread' -j"$JOBS"

step "fuzz targets under ASan+UBSan, ${FUZZ_SECONDS:-60} s each (clang; fails on any finding)"
FUZZ_SECONDS=${FUZZ_SECONDS:-60} JOBS=$JOBS bash scripts/fuzz.sh 2>&1 | tee "$LOGS/fuzz.log"

# The Windows stage; TIDEWELL_WIN=0 leaves it out.
summaries=(asan tsan tsan-areas)
if [ "${TIDEWELL_WIN:-1}" != 0 ]; then
  step "Windows: Tidewell.dll and its tests cross-built, run under Wine, demos compared with build-ci"
  bash scripts/win-test.sh build-ci/bin 2>&1 | tee "$LOGS/win.log"
  summaries+=(win)
fi

step "summary"
for name in "${summaries[@]}" all; do
  echo "$name: $(grep -E 'tests passed|No tests were found' "$LOGS/$name.log" | tail -n 1)"
done
echo "fuzz: $(grep -cE ' 0 findings$' "$LOGS/fuzz.log") of 6 targets without findings"
# The main run's closing line comes last.
grep -E '^[0-9]+% tests passed' "$LOGS/all.log" | tail -n 1
