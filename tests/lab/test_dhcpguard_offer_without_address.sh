#!/usr/bin/env bash
# An offer sent unicast to the host that assigns no address (yiaddr and
# ciaddr 0) is reported to the agent core at once as "AntiARP_RP_DHCP",
# naming the server's MAC; nothing is probed.
DG=dhcpg_noaddr
NET=83
source "$(dirname "$0")/dhcpguard_common.sh"
dg_require
[ -x "$BIN/frame_inject" ] || dg_skip "$BIN/frame_inject not built"
dg_setup
dg_capture
dg_start_agent

hex_mac() { echo "${1//:/}"; }
hex_ip() { local a b c d; IFS=. read -r a b c d <<<"$1"; printf '%02x%02x%02x%02x' "$a" "$b" "$c" "$d"; }
zeros() { printf "%0$(( $1 * 2 ))d" 0; }
# The IPv4 header checksum of 20 header bytes given as hex (a bridge on the
# way checks it and drops a frame with a wrong one).
ip_checksum() {
  local hex=$1 sum=0 i
  for i in $(seq 0 4 36); do sum=$(( sum + 16#${hex:$i:4} )); done
  while [ $(( sum >> 16 )) != 0 ]; do sum=$(( (sum & 0xffff) + (sum >> 16) )); done
  printf '%04x' $(( ~sum & 0xffff ))
}
# Ethernet; IPv4 (278 bytes, UDP); UDP 67 -> 68 (258 bytes); the DHCP reply
# with ciaddr and yiaddr 0, siaddr the server, chaddr the host; the magic
# cookie; options 53 = 2 (offer), 3 = the gateway, end.
frame="$(hex_mac "$HOST_MAC")$(hex_mac "$SRV_MAC")0800"
ip_header="450001160000400040110000$(hex_ip "$SRV_IP")ffffffff"
frame+="${ip_header:0:20}$(ip_checksum "$ip_header")${ip_header:24}"
frame+="0043004401020000"
frame+="02010600c0ffee0100000000""00000000""00000000""$(hex_ip "$SRV_IP")""00000000"
frame+="$(hex_mac "$HOST_MAC")$(zeros 10)$(zeros 192)63825363"
frame+="350102""0304$(hex_ip "$GW_IP")""ff"
[ "${#frame}" = $(( (14 + 278) * 2 )) ] || dg_fail "the offer is ${#frame} hex digits long"
ip netns exec "$DG-srv" "$BIN/frame_inject" s0 "$frame" || dg_fail "frame_inject"

REPORTS=$DG_TMP/home/core/reports.jsonl
dg_wait 10 dg_file_has "$REPORTS" '"str_desc":"AntiARP_RP_DHCP"' || dg_fail "no AntiARP_RP_DHCP report"
sleep 1.5  # a probe, had one been started, would have gone out by now
[ "$(dg_count "$REPORTS" '"str_desc":"AntiARP_RP_DHCP"')" = 1 ] || dg_fail "expected one AntiARP_RP_DHCP block"
grep -F '"str_desc":"AntiARP_RP_DHCP"' "$REPORTS" | grep -qF "\"mapDesc\":{\"mac\":\"$SRV_MAC\"}" \
  || dg_fail "the report does not name the server's MAC"
grep -F '"str_desc":"AntiARP_RP_DHCP"' "$REPORTS" | grep -qF '"iAttackType":2' || dg_fail "not a DHCP attack report"
[ "$(dg_count "$(dg_attack_log)" "Send an Arp packet")" = 0 ] || dg_fail "the gateway of an address-less offer was probed"
echo "PASS: one AntiARP_RP_DHCP report naming $SRV_MAC"
