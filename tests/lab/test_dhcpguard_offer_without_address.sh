#!/usr/bin/env bash
# An offer sent unicast to the host that assigns no address (yiaddr and
# ciaddr 0) is reported to the agent core at once as "AntiARP_RP_DHCP",
# naming the server's MAC; nothing is probed.
DG=dhcpg_noaddr
NET=83
source "$(dirname "$0")/dhcpguard_common.sh"
dg_require
lab_require_bin frame_inject
dg_setup
dg_capture
dg_start_agent

# Ethernet; IPv4 (278 bytes, UDP); UDP 67 -> 68 (258 bytes); the DHCP reply
# with ciaddr and yiaddr 0, siaddr the server, chaddr the host; the magic
# cookie; options 53 = 2 (offer), 3 = the gateway, end.
frame="$(lab_hex_mac "$HOST_MAC")$(lab_hex_mac "$SRV_MAC")0800"
ip_header="450001160000400040110000$(lab_hex_ip "$SRV_IP")ffffffff"
frame+="${ip_header:0:20}$(lab_ip_checksum "$ip_header")${ip_header:24}"
frame+="0043004401020000"
frame+="02010600c0ffee0100000000""00000000""00000000""$(lab_hex_ip "$SRV_IP")""00000000"
frame+="$(lab_hex_mac "$HOST_MAC")$(lab_zeros 10)$(lab_zeros 192)63825363"
frame+="350102""0304$(lab_hex_ip "$GW_IP")""ff"
[ "${#frame}" = $(( (14 + 278) * 2 )) ] || lab_fail "the offer is ${#frame} hex digits long"
lab_inject srv s0 "$frame"

REPORTS=$LAB_TMP/home/core/reports.jsonl
lab_wait 10 lab_file_has "$REPORTS" '"str_desc":"AntiARP_RP_DHCP"' || lab_fail "no AntiARP_RP_DHCP report"
sleep 1.5  # a probe, had one been started, would have gone out by now
[ "$(lab_count "$REPORTS" '"str_desc":"AntiARP_RP_DHCP"')" = 1 ] || lab_fail "expected one AntiARP_RP_DHCP block"
grep -F '"str_desc":"AntiARP_RP_DHCP"' "$REPORTS" | grep -qF "\"mapDesc\":{\"mac\":\"$SRV_MAC\"}" \
  || lab_fail "the report does not name the server's MAC"
grep -F '"str_desc":"AntiARP_RP_DHCP"' "$REPORTS" | grep -qF '"iAttackType":2' || lab_fail "not a DHCP attack report"
[ "$(lab_count "$(dg_attack_log)" "Send an Arp packet")" = 0 ] || lab_fail "the gateway of an address-less offer was probed"
echo "PASS: one AntiARP_RP_DHCP report naming $SRV_MAC"
