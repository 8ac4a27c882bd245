#!/usr/bin/env bash
# Speed: builds the agent, the capture generator and the benchmarks
# (Release), compares the agent with the libpcap read limit, tcpdump and
# arpwatch on one generated capture (bench/compare.sh), then runs the
# micro-benchmarks of the hot paths.
#   bash scripts/bench.sh                 a million frames, best of 3 runs
#   bash scripts/bench.sh --short         100,000 frames, 2 runs, no
#                                         micro-benchmarks, a loose floor (CI)
# Options: --frames N, --runs R, --build DIR (default build-bench),
# --no-build (use DIR as it is), --no-micro. JOBS=N sets the build's jobs.
# Needs tcpdump and arpwatch (scripts/install-deps.sh) and unshare; exits 77
# when one is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

FRAMES=1000000
RUNS=3
BUILD=build-bench
DO_BUILD=1
MICRO=1
FLOOR=0
while [ $# -gt 0 ]; do
  case "$1" in
    --short) FRAMES=100000; RUNS=2; MICRO=0; FLOOR=200000; shift ;;
    --frames) FRAMES=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --build) BUILD=$2; shift 2 ;;
    --no-build) DO_BUILD=0; shift ;;
    --no-micro) MICRO=0; shift ;;
    *) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

if [ "$DO_BUILD" = 1 ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
  targets=(velmora-agent tidewell tidewell-capgen tidewell-pcap-limit)
  [ "$MICRO" = 1 ] && targets+=(tidewell-bench)
  cmake --build "$BUILD" -j"${JOBS:-2}" --target "${targets[@]}"
fi

floor=()
[ "$FLOOR" -gt 0 ] && floor=(--sanity-floor "$FLOOR")
bash bench/compare.sh "$BUILD/bin" --frames "$FRAMES" --runs "$RUNS" "${floor[@]}"

if [ "$MICRO" = 1 ]; then
  if [ -x "$BUILD/bin/tidewell-bench" ]; then
    # The plug-in's alarms go to standard output; only the table is wanted.
    "$BUILD/bin/tidewell-bench" --benchmark_min_time=0.3 2>&1 | grep -v -e '^ALARM' -e '^WINDOW'
  else
    echo "bench.sh: no micro-benchmarks (Google Benchmark was not found)"
  fi
fi
