#!/usr/bin/env bash
# live_cost.sh BUILD/bin [SECONDS]: what live capture costs on a busy host.
#
# The agent's namespace and a sender's, joined by a veth pair. iperf3 sends
# bulk UDP (64-byte datagrams, as fast as it can) to the agent's namespace
# for SECONDS (10), while velmora-agent (--iface) and Debian's arpwatch (-i)
# both watch the same interface. Prints the CPU seconds (utime + stime of
# /proc/PID/stat) that each spent during the traffic, and their ratio, with
# the finer on-CPU time of all their threads (schedstat, ms) beside; and the
# same for as long without traffic before, as the baseline. None
# of this traffic is ARP or DHCP: a capture that filters in the kernel never
# wakes up for it. arpwatch writes only into the bench's folder (-d: no
# daemon, reports to stderr; -Q: no mail; -f: its own data file); its name
# look-ups fail, as no route leaves the namespaces. Needs root. Not a test:
# run it by hand on a quiet machine.
set -uo pipefail

LAB=livecost
source "$(dirname "$0")/../tests/lab/lab_common.sh"
TRAFFIC_SECONDS=${2:-10}
NET=175
AGENT_IP=10.77.$NET.10
SENDER_IP=10.77.$NET.20

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
lab_require iperf3 arpwatch timeout
lab_require_bin velmora-agent
lab_start
lab_netns agent sender
lab_pair agent a0 sender s0
lab_iface agent a0 "$(lab_mac 0a)" "$AGENT_IP"
lab_iface sender s0 "$(lab_mac 14)" "$SENDER_IP"

# CPU seconds (user + system) a process has spent so far.
cpu_seconds() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo "process $1 is gone" >&2; return 1; }
  # Fields after the command's closing parenthesis: utime and stime are 14 and 15.
  awk -v hz="$(getconf CLK_TCK)" '{ print ($12 + $13) / hz }' <<<"${stat##*) }"
}

# On-CPU milliseconds of all of a process's threads so far (nanoseconds in
# the scheduler's statistics, where the ticks of stat read 0).
cpu_ms() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.1f", ns / 1e6 }'; }

lab_policy 1 0 "" 1 >"$LAB_TMP/policy.json"
lab_start_agent agent --config "$LAB_TMP/policy.json" --iface a0 --run-for $(( 2 * TRAFFIC_SECONDS + 60 ))
ip netns exec "$LAB-agent" arpwatch -d -Q -p -N -i a0 -f "$LAB_TMP/arpwatch.dat" >"$LAB_TMP/arpwatch.out" 2>&1 &
ARPWATCH=$!
LAB_PIDS+=("$ARPWATCH")
: >"$LAB_TMP/arpwatch.dat"
ip netns exec "$LAB-agent" iperf3 -s -1 -B "$AGENT_IP" >"$LAB_TMP/iperf3-server.out" 2>&1 &
LAB_PIDS+=($!)
sleep 5  # start-up done: the agent's first seconds cost more than its steady state
kill -0 "$ARPWATCH" 2>/dev/null || lab_fail "arpwatch did not start: $(cat "$LAB_TMP/arpwatch.out")"

# measure WHAT COMMAND...: runs COMMAND and prints the CPU that each watcher
# spent meanwhile.
measure() {
  local what=$1 agent0 arpwatch0 agent_ms0 arpwatch_ms0
  shift
  agent0=$(cpu_seconds "$LAB_AGENT") && arpwatch0=$(cpu_seconds "$ARPWATCH") || lab_fail "no CPU figures"
  agent_ms0=$(cpu_ms "$LAB_AGENT")
  arpwatch_ms0=$(cpu_ms "$ARPWATCH")
  "$@"
  awk -v what="$what" -v a0="$agent0" -v a1="$(cpu_seconds "$LAB_AGENT")" -v w0="$arpwatch0" \
    -v w1="$(cpu_seconds "$ARPWATCH")" -v am0="$agent_ms0" -v am1="$(cpu_ms "$LAB_AGENT")" -v wm0="$arpwatch_ms0" \
    -v wm1="$(cpu_ms "$ARPWATCH")" 'BEGIN {
      agent = a1 - a0; arpwatch = w1 - w0
      printf "%s: CPU seconds velmora-agent %.2f, arpwatch %.2f, ", what, agent, arpwatch
      if (arpwatch > 0) printf "ratio %.2f", agent / arpwatch; else printf "ratio n/a"
      printf "; on-CPU time of all threads (schedstat) %.1f ms and %.1f ms\n", am1 - am0, wm1 - wm0
    }'
}

send_traffic() {
  timeout $(( TRAFFIC_SECONDS + 20 )) ip netns exec "$LAB-sender" \
    iperf3 -c "$AGENT_IP" -u -l 64 -b 0 -t "$TRAFFIC_SECONDS" >"$LAB_TMP/iperf3.out" 2>&1 \
    || lab_fail "iperf3 failed: $(tail -n 5 "$LAB_TMP/iperf3.out")"
}

echo "load average before the run: $LOAD_BEFORE"
measure "idle for $TRAFFIC_SECONDS s" sleep "$TRAFFIC_SECONDS"
measure "$TRAFFIC_SECONDS s of UDP traffic" send_traffic
grep -E "receiver$" "$LAB_TMP/iperf3.out" | tail -n 1
lab_stop_agent TERM
[ "$LAB_AGENT_STATUS" = 0 ] || lab_fail "the agent did not stop cleanly ($LAB_AGENT_STATUS)"
grep -E "frames read|not judged" "$LAB_TMP/agent.out"
