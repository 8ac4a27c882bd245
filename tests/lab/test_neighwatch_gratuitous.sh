#!/usr/bin/env bash
# One broadcast gratuitous ARP (sender = target = the gateway's address) with
# the spoofer's MAC poisons the host's existing entry for its gateway without
# a frame to the host. With the neighbour watch the change is judged as a
# claim: in protection mode 2 the gateway is bound to its configured MAC, in
# protection mode 1 the spoofer is reported after the probe and the cache
# repair puts the gateway's MAC back into the entry. Without the
# watch nothing is reported and the kernel keeps the spoofer's MAC.
AW=neighwatch_garp
NET=96
source "$(dirname "$0")/arpwatch_common.sh"
aw_setup

# The gratuitous request, broadcast: "who has $GW_IP, tell $GW_IP at SPOOF_MAC".
gratuitous() {
  lab_inject spoof s0 "$(lab_arp_hex 1 ff:ff:ff:ff:ff:ff "$SPOOF_MAC" "$GW_IP" 00:00:00:00:00:00 "$GW_IP")"
}

# run_case NAME MODE GUARD_SECTION: a fresh agent home, the gateway's entry
# REACHABLE with its own MAC, the agent with the policy of MODE (auto-binding
# and the gateway's pair in the list) and the guard section, then the frame.
run_case() {
  [ -n "$LAB_AGENT" ] && { lab_stop_agent TERM; mv "$LAB_TMP/home" "$LAB_TMP/home-$CASE"; mkdir -p "$LAB_TMP/home"; }
  CASE=$1
  ip -n "$AW-host" neigh replace "$GW_IP" lladdr "$GW_MAC" dev h0 nud reachable || lab_fail "neighbour"
  lab_host_agent "$(lab_policy "$2" 1 "$GW_IP-$GW_MAC" 0 "$3")"
  gratuitous
}

aw_gateway_poisoned() { aw_gateway_entry | grep -qF "lladdr $SPOOF_MAC"; }
watch_started() { lab_file_has "$LAB_TMP/home/log/Velmora.log" "neighbour watch started, 1 watched addresses"; }

run_case mode2 2 '{"neighbour_watch": true}'
watch_started || lab_fail "[$CASE] the watch did not start"
lab_wait 5 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "$BIND_REPORT" || lab_fail "[$CASE] no AntiARP_RP_ARP_BIND"
lab_wait 5 lab_bound "$GW_IP" "$GW_MAC" || lab_fail "[$CASE] the gateway's entry is not PERMANENT with $GW_MAC: $(aw_gateway_entry)"
sleep 0.5  # the binding's own event must not come back as a claim
[ "$(aw_report_count '"str_desc":"AntiARP_RP_ARP')" = 1 ] || lab_fail "[$CASE] expected exactly one report"

run_case mode1 1 '{"neighbour_watch": true, "repair_cache": true}'
ARP_REPORT="\"str_desc\":\"AntiARP_RP_ARP\",\"mapDesc\":{\"mac\":\"$SPOOF_MAC\"}"
lab_wait 10 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "$ARP_REPORT" || lab_fail "[$CASE] no AntiARP_RP_ARP"
[ "$(aw_probe_count "$GW_MAC")" -ge 1 ] || lab_fail "[$CASE] no probe request to the gateway's MAC"
# The cache repair puts the genuine MAC back, as a dynamic entry.
lab_wait 1 aw_gateway_entry_has "lladdr $GW_MAC REACHABLE" \
  || lab_fail "[$CASE] the entry does not hold the gateway's MAC again: $(aw_gateway_entry)"

# As the policy alone says: the frame is not to the host, nothing is judged.
for section in '{"neighbour_watch": false}' ''; do
  run_case "off${section:+-false}" 2 "$section"
  lab_wait 5 aw_gateway_poisoned || lab_fail "[$CASE] the kernel did not take the gratuitous ARP: $(aw_gateway_entry)"
  sleep 1
  [ "$(aw_report_count '"str_desc"')" = 0 ] || lab_fail "[$CASE] a report without the watch"
  watch_started && lab_fail "[$CASE] the watch started"
done
echo "PASS: a gratuitous ARP is bound in mode 2, reported and repaired in mode 1, and left alone without the watch"
