#!/usr/bin/env bash
# The Windows stage: Tidewell.dll, velmora_host.dll, the host program and the
# tests cross-built with mingw-w64 and run under Wine; the replay demos are
# compared with a Linux build's agent when one is there. Fails when Wine is
# missing or cannot run a test program: it never passes without running.
#   scripts/win-test.sh [LINUX_BIN]
#     LINUX_BIN                bin folder of a Linux build (default build-ci/bin,
#                              then build/bin, when velmora-agent is there)
#   JOBS=N                     parallel build and test jobs (default 2)
#   TIDEWELL_WIN_BUILD=FOLDER  build folder (default build-win-ci)
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS=${JOBS:-2}
BUILD=${TIDEWELL_WIN_BUILD:-build-win-ci}

fail() {
  echo "win-test.sh: $*" >&2
  exit 1
}

command -v x86_64-w64-mingw32-g++-posix >/dev/null || fail "mingw-w64 is missing (scripts/install-deps.sh installs it)"
command -v wine >/dev/null || fail "Wine is missing (scripts/install-deps.sh installs it)"

linux_bin=${1:-}
if [ -z "$linux_bin" ]; then
  for candidate in build-ci/bin build/bin; do
    if [ -x "$candidate/velmora-agent" ]; then
      linux_bin=$candidate
      break
    fi
  done
fi
compare=()
if [ -n "$linux_bin" ]; then
  compare=(-DTIDEWELL_LINUX_BIN_DIR="$(cd "$linux_bin" && pwd)")
else
  echo "win-test.sh: no Linux build found: the replay demos are not compared with Linux" >&2
fi

cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${compare[@]}"
cmake --build "$BUILD" -j"$JOBS"

# Wine gets its own prefix in the build folder; its server goes with the run.
export TIDEWELL_WINEPREFIX="$(cd "$BUILD" && pwd)/wineprefix"
trap 'WINEPREFIX="$TIDEWELL_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true' EXIT

# One program first, on its own: a Wine that cannot start stops the stage
# here with its own message, not as a list of failed tests.
if ! bash tests/win/wine-run.sh "$BUILD/bin/win_export_table_test.exe" --gtest_brief=1; then
  fail "Wine could not run $BUILD/bin/win_export_table_test.exe"
fi
ctest --test-dir "$BUILD" --output-on-failure --no-tests=error -j"$JOBS"
