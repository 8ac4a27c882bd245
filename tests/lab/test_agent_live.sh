#!/usr/bin/env bash
# The agent live on a real interface: it finds the interface of the default
# route, hands the plug-in only the frames coming in, sends the plug-in's
# requests on the wire, and stops cleanly on SIGTERM.
#
# Two namespaces joined by a veth pair: the host (10.77.93.10, default route
# via the peer) and the peer (10.77.93.1), which injects DHCP offers and
# captures what the host sends. Nothing leaves the namespaces.
set -uo pipefail

LAB=agentlive
NET=93
LAB_NO_IPV6=1  # the only frames on the link are the ones this test makes
source "$(dirname "$0")/lab_common.sh"
lab_require tcpdump timeout
lab_require_bin velmora-agent frame_inject
lab_start
LOST_GW=10.77.$NET.254
lab_sender_segment "$GW_MAC" "$GW_IP"
lab_capture send f0 peer.pcap arp

# The embedded default policy, no --iface: the agent must pick h0.
lab_start_agent host --run-for 60
lab_file_has "$LAB_TMP/home/log/Velmora.log" "live capture on h0" || lab_fail "the agent did not choose the default route's interface"

# inject YIADDR [ROUTER]: a DHCPOFFER from the peer to the host's MAC.
inject() { lab_inject send f0 "$(lab_offer_hex "$GW_MAC" "$GW_IP" "$@")"; }

# 1. An offer of no address: reported at once.
inject 0.0.0.0
lab_wait 10 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "AntiARP_RP_DHCP" || lab_fail "no report of the empty offer"
grep -qF "\"mac\":\"$GW_MAC\"" "$LAB_TMP/home/core/reports.jsonl" || lab_fail "the report does not name the server"

# 2. An offer naming a gateway nobody has: the plug-in asks for it on the wire.
inject "$HOST_IP" "$LOST_GW"
asked() { tcpdump -r "$LAB_TMP/peer.pcap" -nn arp 2>/dev/null | grep -qF "Request who-has $LOST_GW tell $HOST_IP"; }
lab_wait 10 asked || lab_fail "the plug-in's ARP request for $LOST_GW never reached the wire"

# 3. SIGTERM: a clean stop with exit 0 and the summary.
lab_stop_agent TERM
lab_file_has "$LAB_TMP/home/log/Velmora.log" "stopped by SIGTERM" || lab_fail "no stop line in the log"

# Only the two offers came in; the plug-in's own requests went out on the
# same interface and must not have been read back.
grep -qE "frames read: +2$" "$LAB_TMP/agent.out" || lab_fail "frames read is not 2: $(grep 'frames read' "$LAB_TMP/agent.out")"
sent=$(sed -nE 's/.*frames sent by the plug-in: +([0-9]+).*/\1/p' "$LAB_TMP/agent.out")
[ "${sent:-0}" -ge 1 ] || lab_fail "no sent frame counted"
echo "PASS: live capture on the default route's interface, incoming frames only, $sent frames sent, clean stop"
exit 0
