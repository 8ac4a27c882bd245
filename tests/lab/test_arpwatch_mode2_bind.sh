#!/usr/bin/env bash
# Protection by binding: a spoofer claims the gateway's address; the
# plug-in binds the gateway statically to its configured MAC in the host's
# ARP table and reports the binding with the spoofer's MAC. With LAB_VLAN
# set, the spoofer's claims carry an 802.1Q tag of that VLAN.
AW=arpwatch_m2bind${LAB_VLAN:+_v$LAB_VLAN}
NET=$(( ${LAB_VLAN:+1} + 73 ))
source "$(dirname "$0")/arpwatch_common.sh"
aw_bind_start

lab_wait 15 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "$BIND_REPORT" || lab_fail "no AntiARP_RP_ARP_BIND report with mac, macb and ipb"
lab_wait 5 lab_bound "$GW_IP" "$GW_MAC" || lab_fail "the gateway's entry is not PERMANENT with $GW_MAC: $(aw_gateway_entry)"

# Bound: another spoofed claim changes nothing.
aw_claim spoof s0 "$SPOOF_MAC"
sleep 1
lab_bound "$GW_IP" "$GW_MAC" || lab_fail "the binding did not hold"
[ "$(aw_report_count '"str_desc":"AntiARP_RP_ARP_BIND"')" = 1 ] || lab_fail "expected exactly one binding report"
[ "$(aw_report_count '"str_desc":"AntiARP_RP_ARP",')" = 0 ] || lab_fail "probe report in protection mode 2"
[ "$(aw_probe_count "$GW_MAC")" = 0 ] || lab_fail "probe requests in protection mode 2 with auto-binding"
echo "PASS: gateway bound to $GW_MAC, AntiARP_RP_ARP_BIND reported"
