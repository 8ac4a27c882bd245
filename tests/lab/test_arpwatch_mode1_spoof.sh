#!/usr/bin/env bash
# Protection by probing: a spoofer claims the gateway's address; the
# plug-in asks the gateway's known MAC, the gateway (its kernel) answers,
# and the spoofer is reported once. The learned MAC stays the gateway's.
# The gateway's answer comes within the kernel's lock time after the
# spoofer's claim, so the kernel keeps the spoofer's MAC; with
# AW_REPAIR_CACHE=true (guard.repair_cache) the plug-in puts the gateway's
# MAC back as a dynamic entry.
source "$(dirname "$0")/arpwatch_common.sh"
aw_start_probing arpwatch_m1spoof 71 57

# The kernel takes a claim that changes an entry only once the entry's lock
# time (1 s) has passed since the set-up wrote it.
sleep 1.1
aw_claim spoof s0 "$SPOOF_MAC"
ARP_REPORT='"str_desc":"AntiARP_RP_ARP",'
lab_wait 15 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "$ARP_REPORT\"mapDesc\":{\"mac\":\"$SPOOF_MAC\"}" \
  || lab_fail "no AntiARP_RP_ARP report naming the spoofer"
if [ "${AW_REPAIR_CACHE:-}" = true ]; then
  lab_wait 1 aw_gateway_entry_has "lladdr $GW_MAC REACHABLE" \
    || lab_fail "the entry was not restored as dynamic: $(aw_gateway_entry)"
  lab_file_has "$LAB_TMP/home/log/Velmora.log" "restored $GW_IP to $GW_MAC" || lab_fail "no line for the restored entry"
else
  aw_gateway_entry_has "lladdr $SPOOF_MAC " || lab_fail "the kernel did not keep the spoofer's MAC: $(aw_gateway_entry)"
  ! lab_file_has "$LAB_TMP/home/log/Velmora.log" "restored " || lab_fail "an entry restored with the repair off"
fi
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
echo "PASS: one AntiARP_RP_ARP report naming $SPOOF_MAC after $probes probe request(s)," \
  "entry: $(aw_gateway_entry)"
