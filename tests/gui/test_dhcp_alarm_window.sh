#!/usr/bin/env bash
# The DHCP alarm on a real desktop. Starts an X server of its own (Xvfb on
# a free display) and, on it:
#  1. runs the alarm window tests against real GTK windows: the window has
#     the title of text 779, the OK caption of text 120 and the alarm text;
#     a second alarm is appended to the open window; a screenshot of it is
#     kept in the build folder (test-artifacts/dhcp-alarm.png);
#  2. replays the DHCP demo through the agent and checks that its alarm
#     window appears on the display and is told on its output.
# Usage: test_dhcp_alarm_window.sh BIN_FOLDER. Exit 77 when Xvfb is missing.
BIN=${1:-}
HERE=$(cd "$(dirname "$0")" && pwd)
EXAMPLES=$HERE/../../examples
XPID=""
TMP=""

skip() { echo "SKIP: $*"; exit 77; }
fail() {
  echo "FAIL: $*"
  [ -n "$TMP" ] && for f in "$TMP"/gtest.out "$TMP"/agent.out; do [ -f "$f" ] && { echo "--- $f"; tail -n 40 "$f"; }; done
  exit 1
}
cleanup() {
  [ -n "$AGENT" ] && kill "$AGENT" 2>/dev/null
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
  [ -n "$TMP" ] && rm -rf "$TMP"
  return 0
}
trap cleanup EXIT

command -v Xvfb >/dev/null || skip "Xvfb missing"
[ -n "$BIN" ] || skip "no bin folder given"
[ -x "$BIN/dhcpguard_alarm_test" ] || skip "$BIN/dhcpguard_alarm_test not built"
TMP=$(mktemp -d /tmp/dhcpg_gui.XXXXXX)

# A display number nobody uses; Xvfb refuses a taken one, so try a few.
for n in $(seq 71 99); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >"$TMP/xvfb.out" 2>&1 &
  XPID=$!
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$XPID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$XPID" 2>/dev/null; then DISPLAY_NUMBER=$n; break; fi
  kill "$XPID" 2>/dev/null
  XPID=""
done
[ -n "$DISPLAY_NUMBER" ] || fail "no X server could be started"
export DISPLAY=":$DISPLAY_NUMBER" NO_AT_BRIDGE=1
unset WAYLAND_DISPLAY

# 1. Real windows through the plug-in's own code.
ARTIFACT=$BIN/../test-artifacts/dhcp-alarm.png
rm -f "$ARTIFACT"
# One process per test, as under ctest: the plug-in's logs belong to the
# process's first agent home.
FILTER='Windows/AlarmTest.*/Gtk:AlarmScreenshot.*'
tests=$("$BIN/dhcpguard_alarm_test" --gtest_list_tests --gtest_filter="$FILTER" |
  awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
grep -q "^AlarmScreenshot\." <<<"$tests" && grep -q "/Gtk$" <<<"$tests" ||
  fail "expected the window tests on GTK and the screenshot, found: $tests"
for t in $tests; do
  timeout 60 "$BIN/dhcpguard_alarm_test" --gtest_filter="$t" >>"$TMP/gtest.out" 2>&1 || fail "$t failed on the display"
  tail -n 3 "$TMP/gtest.out" | grep -q "\[  PASSED  \] 1 test" || fail "$t did not pass on the display"
done
grep -q "SKIPPED" "$TMP/gtest.out" && fail "window tests were skipped on a display"
[ -f "$ARTIFACT" ] || fail "no screenshot at $ARTIFACT"
[ "$(head -c 4 "$ARTIFACT" | od -An -tx1 | tr -d ' ')" = 89504e47 ] || fail "the screenshot is no PNG"

# 2. The agent's own alarm window, from the demo capture.
if [ -x "$BIN/velmora-agent" ] && [ -f "$EXAMPLES/dhcp-demo.pcap" ]; then
  "$BIN/velmora-agent" --replay "$EXAMPLES/dhcp-demo.pcap" --config "$EXAMPLES/dhcp-demo.json" \
    --home "$TMP/home" >"$TMP/agent.out" 2>&1 &
  AGENT=$!
  seen=""
  for _ in $(seq 1 100); do  # up to 10 s; the alarm comes about 4 s in
    if grep -qF "WINDOW [Velmora - DHCP alarm]" "$TMP/agent.out"; then
      if ! command -v xwininfo >/dev/null || xwininfo -root -tree | grep -qF '"Velmora - DHCP alarm"'; then
        seen=yes
        break
      fi
    fi
    sleep 0.1
  done
  [ -n "$seen" ] || fail "the agent's alarm window did not appear"
  grep -qF "02:77:00:00:00:66" "$TMP/agent.out" || fail "the agent's alarm does not name the rogue server"
  wait "$AGENT" || fail "the agent did not end cleanly"
  AGENT=""
fi
echo "PASS: real alarm windows on $DISPLAY; screenshot kept at $ARTIFACT"
