#!/usr/bin/env bash
# Protection by binding in an agent that may capture (CAP_NET_RAW) but not
# change the ARP table (no CAP_NET_ADMIN): the kernel refuses the binding,
# so the plug-in reports it as failed, not as done, and the agent says at
# start what it lacks.
AW=arpwatch_m2noadm
NET=74
source "$(dirname "$0")/arpwatch_common.sh"
lab_require setpriv
LAB_AGENT_WRAP=(setpriv --inh-caps=-all,+net_raw --ambient-caps=-all,+net_raw --bounding-set=-all,+net_raw --)
aw_bind_start

lab_wait 15 lab_file_has "$LAB_TMP/home/core/reports.jsonl" '"str_desc":"AntiARP_RP_ARP_BIND_FAIL","mapDesc":{"mac":"'"$SPOOF_MAC"'"}' ||
  lab_fail "no AntiARP_RP_ARP_BIND_FAIL report with the spoofer's MAC"
aw_claim spoof s0 "$SPOOF_MAC"
sleep 1
[ "$(aw_report_count '"str_desc":"AntiARP_RP_ARP_BIND"')" = 0 ] || lab_fail "a binding reported as done"
aw_gateway_entry | grep -q PERMANENT && lab_fail "the gateway's entry became static: $(aw_gateway_entry)"
grep -q "lacks CAP_NET_ADMIN" "$LAB_TMP/agent.out" || lab_fail "no word on standard error of the missing CAP_NET_ADMIN"
[ "$(lab_count "$LAB_TMP/home/log/Velmora.log" "lacks CAP_NET_ADMIN")" = 1 ] || lab_fail "the log does not say once that CAP_NET_ADMIN is missing"
lab_file_has "$LAB_TMP/home/log/Velmora.log" "failed: SetIpNetEntry ret 5 (access denied" ||
  lab_fail "the log does not name why the binding failed"
echo "PASS: without CAP_NET_ADMIN the binding is reported as failed, the entry stays $(aw_gateway_entry)"
