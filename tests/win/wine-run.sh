#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: CTest's emulator and the
# way scripts/win-test.sh starts the host program. The Wine prefix is the
# build's own (BIN/../wineprefix, or $TIDEWELL_WINEPREFIX), made once: 64-bit,
# no Mono or Gecko, and the null graphics driver, so that dialogs are real
# windows that need no X server and show nowhere. A Wine that is missing or
# cannot start is an error, never a pass.
#   wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: wine-run.sh PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
program=$1
shift
wine_bin=$(command -v wine || command -v wine64 || true)
if [ -z "$wine_bin" ]; then
  echo "wine-run.sh: Wine is not installed (apt-get install wine64)" >&2
  exit 1
fi

wineserver_bin=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

bin_dir=$(cd "$(dirname "$program")" && pwd)
export WINEPREFIX=${TIDEWELL_WINEPREFIX:-$(dirname "$bin_dir")/wineprefix}
export WINEARCH=win64
# Wine's own errors stay on: a program that Wine cannot start says why.
export WINEDEBUG=${WINEDEBUG:--all,err+all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# Nobody looks at the null driver's desktop: dialogs are headless unless a
# test asks for real ones, as on Linux without a display.
export TIDEWELL_HEADLESS=${TIDEWELL_HEADLESS:-1}

# Wine's processes live on after the command: none may keep the lock (9).
make_prefix() {
  if [ -f "$WINEPREFIX/.tidewell-ready" ]; then return 0; fi
  mkdir -p "$WINEPREFIX"
  timeout 300 "$wine_bin" wineboot -i >/dev/null 2>&1 9>&- || true
  timeout 60 "$wine_bin" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 9>&-
  timeout 60 "$wine_bin" reg query 'HKCU\Software\Wine\Drivers' /v Graphics 2>/dev/null 9>&- | grep -q null
  # The session that made the prefix started its desktop before the driver
  # was chosen, and has none: the next program starts a session of its own.
  "$wineserver_bin" -k 9>&- || true
  "$wineserver_bin" -w 9>&- || true
  touch "$WINEPREFIX/.tidewell-ready"
}

# One prefix for tests that run side by side: made once, under a lock.
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if ! make_prefix; then
    echo "wine-run.sh: Wine cannot set up its prefix $WINEPREFIX" >&2
    exit 1
  fi
) 9>"$WINEPREFIX.lock"

# Wine's own processes (wineserver, services) outlive the program for a
# while and keep the output they were started with open: CTest would wait
# for them every time. The program's output goes through files instead, and
# one wineserver that stays a few seconds serves every program in turn.
"$wineserver_bin" -p"${TIDEWELL_WINESERVER_LINGER:-10}" </dev/null >/dev/null 2>&1 || true
out=$(mktemp)
err=$(mktemp)
expired=$(mktemp -u)
trap 'rm -f "$out" "$err" "$expired"' EXIT

# A program that hangs would be killed by CTest with its output unseen (it
# is in the files): it gets a deadline of its own below CTest's, and when
# that passes, the stacks of its threads are shown before it is ended.
limit=${TIDEWELL_WINE_TIMEOUT:-40}
program_name=$(basename "$program")
show_stacks() {
  echo "wine-run.sh: $program_name still runs after $limit s; its threads:"
  local wpid
  wpid=$(timeout 8 "$wine_bin" winedbg --command "info proc" 2>/dev/null </dev/null |
    awk -v name="'$program_name'" 'tolower($NF) == tolower(name) { gsub(/=/, "", $1); print $1; exit }')
  [ -n "$wpid" ] || return 0
  printf 'bt all\ndetach\nquit\n' | timeout 10 "$wine_bin" winedbg "0x$wpid" 2>&1 |
    awk -v name="$program_name" '/^Backtracing for thread/ { keep = index(tolower($0), tolower(name)) > 0 } keep'
}
watchdog() {
  local target=$1 pause
  sleep "$limit" &
  pause=$!
  trap 'kill "$pause" 2>/dev/null; exit 0' TERM
  wait "$pause"
  kill -0 "$target" 2>/dev/null || exit 0
  touch "$expired"
  show_stacks >>"$err"
  kill -KILL "$target" 2>/dev/null
}

run_program() {
  "$wine_bin" "$program" "$@" >"$out" 2>"$err" </dev/null &
  program_pid=$!
  watchdog "$program_pid" </dev/null >/dev/null 2>&1 &
  watchdog_pid=$!
  rc=0
  wait "$program_pid" 2>/dev/null || rc=$?
  kill "$watchdog_pid" 2>/dev/null || true
  wait "$watchdog_pid" 2>/dev/null || true
}

started=${EPOCHREALTIME/./}
run_program "$@"
# Now and then (about once in two thousand starts here) Wine gives up on a
# start within a few hundredths of a second, before the program has run,
# with status 1 and not a word. Such a start is tried once more, and said.
if [ "$rc" = 1 ] && [ ! -s "$out" ] && [ ! -s "$err" ] && [ ! -e "$expired" ] &&
   [ $((${EPOCHREALTIME/./} - started)) -lt 300000 ]; then
  echo "wine-run.sh: Wine gave up on starting $program_name at once (status 1, nothing written): started again" >&2
  run_program "$@"
fi
cat "$out"
cat "$err" >&2
if [ -e "$expired" ]; then
  echo "wine-run.sh: $program_name ended after $limit s" >&2
  exit 124
fi
# A program that fails before it writes a line says at least that much.
if [ "$rc" != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: $program_name ended with status $rc and wrote nothing" >&2
fi
exit "$rc"
