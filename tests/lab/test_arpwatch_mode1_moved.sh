#!/usr/bin/env bash
# Protection by probing, the gateway really moved: its old MAC is gone from
# the segment. The plug-in asks the old MAC three times, hears nothing,
# reports nothing and trusts the new MAC from then on. With
# AW_REPAIR_CACHE=true (guard.repair_cache) nothing is restored either.
source "$(dirname "$0")/arpwatch_common.sh"
aw_start_probing arpwatch_m1moved 72 58

ip -n "$AW-gw" link set g0 address "$GW_NEW_MAC" || lab_fail "cannot change the gateway's MAC"
aw_claim gw g0 "$GW_NEW_MAC"
lab_wait 15 aw_probes_at_least "$GW_MAC" 3 || lab_fail "expected three probe requests to the old MAC"
# The change is accepted in the first pass at least a second after the
# third request.
sleep 1.6
[ "$(aw_probe_count "$GW_MAC")" = 3 ] || lab_fail "more than three requests to the old MAC"

# A second claim with the new MAC is now a repeat: no new probe.
seen=$(aw_seen_from "$GW_IP")
aw_claim gw g0 "$GW_NEW_MAC"
lab_wait 5 aw_seen_more_than "$GW_IP" "$seen" || lab_fail "the second claim did not reach the plug-in"
sleep 1.5
[ "$(aw_probe_count "$GW_MAC")" = 3 ] || lab_fail "the new MAC was not accepted: the old MAC is asked again"
[ "$(aw_probe_count "$GW_NEW_MAC")" = 0 ] || lab_fail "the new MAC was probed"
[ "$(aw_report_count '"str_desc":"AntiARP_RP_')" = 0 ] || lab_fail "a report for a gateway that moved"
! lab_file_has "$LAB_TMP/home/log/Velmora.log" "restored " || lab_fail "the entry of a gateway that moved was restored"
aw_gateway_entry_has "lladdr $GW_NEW_MAC " || lab_fail "the kernel's entry is not the new MAC: $(aw_gateway_entry)"
echo "PASS: three unanswered requests, no report, new MAC trusted"
