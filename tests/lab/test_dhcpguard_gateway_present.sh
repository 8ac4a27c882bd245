#!/usr/bin/env bash
# DHCP protection with a server whose gateway exists: the agent probes the
# gateway that the unicast offer names, the gateway answers, and no alarm
# is raised.
DG=dhcpg_present
NET=81
source "$(dirname "$0")/dhcpguard_common.sh"
dg_setup dnsmasq dhclient
dg_add_gateway
dg_start_all

LOG=$(dg_attack_log)
lab_wait 30 lab_file_has "$LOG" "Send an Arp packet to $GW_IP," || lab_fail "no probe of the gateway"
lab_wait 10 lab_file_has "$LOG" "Recieve an Arp packet from $GW_IP," || lab_fail "the gateway's answer did not reach the probe"
# Room for three more probe periods: an unanswered probe would alarm by then.
sleep 4
[ "$(dg_alarm_count)" = 0 ] || lab_fail "alarm although the gateway answered"
grep -qF "WINDOW [" "$LAB_TMP/agent.out" && lab_fail "an alarm window was shown"
[ "$(dg_probe_count)" = 1 ] || lab_fail "expected one probe request on the wire, saw $(dg_probe_count)"
grep -q "DHCPOFFER(s0) $LEASE_IP $HOST_MAC" "$LAB_TMP/dnsmasq.out" || lab_fail "dnsmasq made no offer"
echo "PASS: the offered gateway $GW_IP answered the probe; no alarm"
