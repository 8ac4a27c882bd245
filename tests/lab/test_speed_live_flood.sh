#!/usr/bin/env bash
# Speed, live: the agent on a veth pair takes 100,000 ARP frames per second
# for ten seconds (the benchmark segment's ARP traffic, spoofed gateway
# claims included) and loses none of them: every frame sent is read, and
# none is dropped by the capture or by the guard's queue.
#
# Two namespaces: the host (the capture's guarded host 10.77.0.10, default
# route via the gateway 10.77.0.1) and the sender, whose end of the pair has
# no address, so that its kernel adds no frame of its own. Nothing leaves
# the namespaces. SPEED_RATE and SPEED_SECONDS change the load.
set -uo pipefail

LAB=speedlive
NET=0
LAB_NO_IPV6=1
source "$(dirname "$0")/lab_common.sh"
RATE=${SPEED_RATE:-100000}
SECONDS_OF_FLOOD=${SPEED_SECONDS:-10}
FRAMES=$(( RATE * SECONDS_OF_FLOOD ))

lab_require timeout
lab_require_bin velmora-agent tidewell-capgen tidewell-wire-replay
lab_start
lab_link "$(lab_mac fe)"

# Not beside the test's captures: a failure shows those, not a million frames.
mkdir -p "$LAB_TMP/gen"
"$BIN/tidewell-capgen" --arp-only --frames "$FRAMES" --out "$LAB_TMP/gen/flood.pcap" >"$LAB_TMP/capgen.out" \
  || lab_fail "cannot generate the flood"
lab_host_agent "$(lab_policy 1 0 "" 1)"

timeout $(( SECONDS_OF_FLOOD + 30 )) ip netns exec "$LAB-send" "$BIN/tidewell-wire-replay" f0 "$LAB_TMP/gen/flood.pcap" "$RATE" \
  >"$LAB_TMP/sender.out" 2>&1 || lab_fail "the sender failed: $(cat "$LAB_TMP/sender.out")"
cat "$LAB_TMP/sender.out"
# A sender that fell behind did not put the load on the agent that this
# test is about.
sent_rate=$(sed -n 's/.*(\([0-9]*\) per second)$/\1/p' "$LAB_TMP/sender.out")
[ "${sent_rate:-0}" -ge $(( RATE * 9 / 10 )) ] || lab_fail "the sender reached only ${sent_rate:-0} frames per second"
# The capture drains what is still in its ring, and polls its drop counters
# once a second.
sleep 2
lab_stop_agent TERM
grep -A8 "velmora-agent summary" "$LAB_TMP/agent.out"

read_count=$(sed -n 's/^ *frames read: *\([0-9]*\)$/\1/p' "$LAB_TMP/agent.out")
dropped=$(sed -n 's/^ *frames dropped: *\(.*\)$/\1/p' "$LAB_TMP/agent.out")
[ "$read_count" = "$FRAMES" ] || lab_fail "frames read: ${read_count:-none}, sent $FRAMES"
[ "$dropped" = "0 (capture 0, guard queue 0)" ] || lab_fail "frames dropped: ${dropped:-no summary}"
echo "PASS: $FRAMES frames at $sent_rate per second, none lost"
