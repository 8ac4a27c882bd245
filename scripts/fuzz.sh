#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan, build-fuzz/) and runs
# each for a bounded time from its seeds in fuzz/corpus/<target>/. Prints
# one line per target (executions, rate, corpus, peak memory, findings) and
# exits non-zero when any target found something: a crash, a sanitizer
# report, a leak, a hang (over 10 s for one input) or an input that needs
# over 2 GB. Findings are kept in build-fuzz/fuzz-findings/<target>/; turn
# each into a regression test in tests/unit/.
#   FUZZ_SECONDS=N   seconds per target (default 60)
#   FUZZ_TARGETS="a b"  only these targets
#   FUZZ_BUILD=DIR   build folder (default build-fuzz)
#   JOBS=N           build jobs (default 2)
set -uo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${FUZZ_SECONDS:-60}
BUILD=${FUZZ_BUILD:-build-fuzz}
JOBS=${JOBS:-2}
ALL_TARGETS="fuzz_arp_callback fuzz_dhcp_callback fuzz_archive_reader fuzz_agent_config fuzz_bind_list fuzz_ipv6_callback"
TARGETS=${FUZZ_TARGETS:-$ALL_TARGETS}

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (apt-get install clang libclang-rt-14-dev)"; exit 1; }
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDEWELL_FUZZ=ON \
  -DTIDEWELL_TESTS=OFF -DTIDEWELL_BENCH=OFF >/dev/null || exit 1
# shellcheck disable=SC2086
cmake --build "$BUILD" -j"$JOBS" --target $TARGETS || exit 1

WORK=$BUILD/fuzz-work
# The targets' homes in memory when there is a tmpfs: the store's fsyncs
# then cost nothing.
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
FINDINGS=$BUILD/fuzz-findings
failed=0
results=()
for target in $TARGETS; do
  corpus=$WORK/$target
  artifacts=$FINDINGS/$target
  mkdir -p "$corpus" "$artifacts"
  log=$WORK/$target.log
  before=$(find "$artifacts" -type f | wc -l)
  echo "=== $target: ${SECONDS_EACH} s"
  # The seeds are read, new inputs go to the working corpus only.
  "$BUILD/bin/$target" "$corpus" "fuzz/corpus/$target" -max_total_time="$SECONDS_EACH" -timeout=10 \
    -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1)
  rss=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1)
  units=$(find "$corpus" -type f | wc -l)
  found=$(( $(find "$artifacts" -type f | wc -l) - before ))
  [ "$rc" -ne 0 ] && [ "$found" -eq 0 ] && found=1
  if [ "$rc" -ne 0 ]; then
    failed=1
    echo "--- $target failed (exit $rc):"
    grep -E 'ERROR|FINDING|SUMMARY|Test unit written|==[0-9]+==' "$log" | head -n 20
  fi
  rate=0
  [ -n "$execs" ] && rate=$(( execs / (SECONDS_EACH > 0 ? SECONDS_EACH : 1) ))
  results+=("$(printf '%-22s %6s s %12s execs %9s/s %6s inputs %6s MB peak %3s findings' "$target" "$SECONDS_EACH" \
    "${execs:-?}" "$rate" "$units" "${rss:-?}" "$found")")
done
echo
echo "=== fuzz summary"
printf '%s\n' "${results[@]}"
if [ "$failed" -ne 0 ]; then
  echo "fuzz.sh: findings in $FINDINGS"
  exit 1
fi
