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
LAB=dhcpg_gui
source "$(dirname "$0")/../lab/lab_common.sh"
EXAMPLES=$(cd "$(dirname "$0")/../../examples" && pwd)
LAB_DUMP=(gtest.out agent.out)

command -v Xvfb >/dev/null || lab_skip "Xvfb missing"
[ -n "$BIN" ] || lab_skip "no bin folder given"
lab_require_bin dhcpguard_alarm_test
lab_start
lab_xvfb
export NO_AT_BRIDGE=1
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
  lab_fail "expected the window tests on GTK and the screenshot, found: $tests"
for t in $tests; do
  timeout 60 "$BIN/dhcpguard_alarm_test" --gtest_filter="$t" >>"$LAB_TMP/gtest.out" 2>&1 || lab_fail "$t failed on the display"
  tail -n 3 "$LAB_TMP/gtest.out" | grep -q "\[  PASSED  \] 1 test" || lab_fail "$t did not pass on the display"
done
grep -q "SKIPPED" "$LAB_TMP/gtest.out" && lab_fail "window tests were skipped on a display"
[ -f "$ARTIFACT" ] || lab_fail "no screenshot at $ARTIFACT"
[ "$(head -c 4 "$ARTIFACT" | od -An -tx1 | tr -d ' ')" = 89504e47 ] || lab_fail "the screenshot is no PNG"

# 2. The agent's own alarm window, from the demo capture; it comes about 4 s in.
if [ -x "$BIN/velmora-agent" ] && [ -f "$EXAMPLES/dhcp-demo.pcap" ]; then
  "$BIN/velmora-agent" --replay "$EXAMPLES/dhcp-demo.pcap" --config "$EXAMPLES/dhcp-demo.json" \
    --home "$LAB_TMP/home" >"$LAB_TMP/agent.out" 2>&1 &
  LAB_PIDS+=($!)
  lab_wait 10 lab_alarm_window_open || lab_fail "the agent's alarm window did not appear"
  grep -qF "02:77:00:00:00:66" "$LAB_TMP/agent.out" || lab_fail "the agent's alarm does not name the rogue server"
  wait "${LAB_PIDS[-1]}" || lab_fail "the agent did not end cleanly"
fi
echo "PASS: real alarm windows on $DISPLAY; screenshot kept at $ARTIFACT"
