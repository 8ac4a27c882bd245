#!/usr/bin/env bash
# An offer sent unicast to the host that assigns no address (yiaddr and
# ciaddr 0) is reported to the agent core at once as "AntiARP_RP_DHCP",
# naming the server's MAC; nothing is probed.
DG=dhcpg_noaddr
NET=83
source "$(dirname "$0")/dhcpguard_common.sh"
lab_require_bin frame_inject
dg_setup
dg_capture
dg_start_agent

lab_inject srv s0 "$(lab_offer_hex "$SRV_MAC" "$SRV_IP" 0.0.0.0 "$GW_IP")"

REPORTS=$LAB_TMP/home/core/reports.jsonl
lab_wait 10 lab_file_has "$REPORTS" '"str_desc":"AntiARP_RP_DHCP"' || lab_fail "no AntiARP_RP_DHCP report"
sleep 1.5  # a probe, had one been started, would have gone out by now
[ "$(lab_count "$REPORTS" '"str_desc":"AntiARP_RP_DHCP"')" = 1 ] || lab_fail "expected one AntiARP_RP_DHCP block"
grep -qE "\"iAttackType\":2,[^}]*\"str_desc\":\"AntiARP_RP_DHCP\",\"mapDesc\":\\{\"mac\":\"$SRV_MAC\"\\}" "$REPORTS" \
  || lab_fail "the report is not a DHCP attack report naming the server's MAC"
[ "$(lab_count "$(dg_attack_log)" "Send an Arp packet")" = 0 ] || lab_fail "the gateway of an address-less offer was probed"
echo "PASS: one AntiARP_RP_DHCP report naming $SRV_MAC"
