#!/usr/bin/env bash
# Protection by probing: a spoofer claims the gateway's address; the
# plug-in asks the gateway's known MAC, the gateway (its kernel) answers,
# and the spoofer is reported once. The learned MAC stays the gateway's.
AW=arpwatch_m1spoof
NET=71
source "$(dirname "$0")/arpwatch_common.sh"
aw_require
aw_setup
aw_capture_host
aw_start_agent "$(aw_policy 1 0 "")"

aw_claim spoof s0 "$SPOOF_MAC"
ARP_REPORT='"str_desc":"AntiARP_RP_ARP",'
lab_wait 15 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "$ARP_REPORT" || lab_fail "no AntiARP_RP_ARP report"
aw_reports "$ARP_REPORT" | grep -qF "\"mapDesc\":{\"mac\":\"$SPOOF_MAC\"}" || lab_fail "the report does not name the spoofer"
probes=$(aw_probe_count "$GW_MAC")
[ "$probes" -ge 1 ] && [ "$probes" -le 3 ] || lab_fail "$probes probe requests to the gateway's MAC"

# The learned MAC is still the gateway's: its own claim is a repeat and
# starts no probe (had the spoofer's MAC been learned, the plug-in would now
# ask the spoofer's MAC).
seen=$(aw_seen_from "$GW_IP")
aw_claim gw g0 "$GW_MAC"
lab_wait 5 aw_seen_more_than "$GW_IP" "$seen" || lab_fail "the gateway's claim did not reach the plug-in"
sleep 1.5  # a guard poll and a probe pass, with room to spare
[ "$(aw_probe_count "$SPOOF_MAC")" = 0 ] || lab_fail "the spoofer's MAC was learned"
[ "$(aw_probe_count "$GW_MAC")" = "$probes" ] || lab_fail "the gateway's own claim started a probe"
[ "$(aw_report_count "$ARP_REPORT")" = 1 ] || lab_fail "expected exactly one AntiARP_RP_ARP block"
[ "$(aw_report_count '"str_desc":"AntiARP_RP_ARP_')" = 0 ] || lab_fail "binding report in protection mode 1"
echo "PASS: one AntiARP_RP_ARP report naming $SPOOF_MAC after $probes probe request(s)"
