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
source "$(dirname "$0")/lab_common.sh"
HOST_IP=10.77.93.10
PEER_IP=10.77.93.1
LOST_GW=10.77.93.254
HOST_MAC=02:77:5d:00:00:0a
PEER_MAC=02:77:5d:00:00:01

lab_require tcpdump timeout
lab_require_bin velmora-agent frame_inject
lab_start
lab_netns host peer
lab_pair host h0 peer p0
for side in "host h0 $HOST_MAC $HOST_IP" "peer p0 $PEER_MAC $PEER_IP"; do
  read -r ns dev mac addr <<<"$side"
  # No IPv6: the only frames on the link are the ones this test makes.
  ip netns exec "$LAB-$ns" sh -c 'echo 1 >/proc/sys/net/ipv6/conf/all/disable_ipv6; echo 1 >/proc/sys/net/ipv6/conf/default/disable_ipv6' \
    || lab_fail "cannot turn IPv6 off in $LAB-$ns"
  lab_iface "$ns" "$dev" "$mac" "$addr"
done
ip -n "$LAB-host" route add default via "$PEER_IP" dev h0 || lab_fail "default route"

lab_capture peer p0 peer.pcap arp

# The embedded default policy, no --iface: the agent must pick h0.
lab_start_agent host --run-for 60
lab_file_has "$LAB_TMP/home/log/Velmora.log" "live capture on h0" || lab_fail "the agent did not choose the default route's interface"

# offer YIADDR [ROUTER]: a 300-byte DHCPOFFER from the peer to the host's MAC.
offer() {
  local f options
  f="$(lab_hex_mac "$HOST_MAC")$(lab_hex_mac "$PEER_MAC")0800"
  f+="4500011e0000000040110000$(lab_hex_ip "$PEER_IP")$(lab_hex_ip "$HOST_IP")"  # IPv4, 286 bytes, UDP
  f+="00430044010a0000"                                                           # UDP 67 -> 68
  f+="02010600$(lab_zeros 8)$(lab_zeros 4)$(lab_hex_ip "$1")$(lab_zeros 8)"       # op .. giaddr
  f+="$(lab_hex_mac "$HOST_MAC")$(lab_zeros 10)$(lab_zeros 192)63825363"          # chaddr, sname, file, cookie
  options="350102"
  [ -n "${2:-}" ] && options+="0304$(lab_hex_ip "$2")"
  options+="ff"
  f+="$options"
  f+="$(lab_zeros $(( 300 - ${#f} / 2 )))"
  echo "$f"
}

inject() { lab_inject peer p0 "$1"; }

# 1. An offer of no address: reported at once.
inject "$(offer 0.0.0.0)"
lab_wait 10 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "AntiARP_RP_DHCP" || lab_fail "no report of the empty offer"
grep -qF "\"mac\":\"$PEER_MAC\"" "$LAB_TMP/home/core/reports.jsonl" || lab_fail "the report does not name the server"

# 2. An offer naming a gateway nobody has: the plug-in asks for it on the wire.
inject "$(offer "$HOST_IP" "$LOST_GW")"
probes() { tcpdump -r "$LAB_TMP/peer.pcap" -nn arp 2>/dev/null | grep -cF "Request who-has $LOST_GW tell $HOST_IP"; }
asked() { [ "$(probes)" -ge 1 ]; }
lab_wait 10 asked || lab_fail "the plug-in's ARP request for $LOST_GW never reached the wire"

# 3. SIGTERM: a clean stop with exit 0 and the summary.
lab_stop_agent TERM
[ "$LAB_AGENT_STATUS" = 0 ] || lab_fail "the agent ended with $LAB_AGENT_STATUS after SIGTERM"
lab_file_has "$LAB_TMP/home/log/Velmora.log" "stopped by SIGTERM" || lab_fail "no stop line in the log"

# Only the two offers came in; the plug-in's own requests went out on the
# same interface and must not have been read back.
grep -qE "frames read: +2$" "$LAB_TMP/agent.out" || lab_fail "frames read is not 2: $(grep 'frames read' "$LAB_TMP/agent.out")"
sent=$(sed -nE 's/.*frames sent by the plug-in: +([0-9]+).*/\1/p' "$LAB_TMP/agent.out")
[ "${sent:-0}" -ge 1 ] || lab_fail "no sent frame counted"
echo "PASS: live capture on the default route's interface, incoming frames only, $sent frames sent, clean stop"
exit 0
