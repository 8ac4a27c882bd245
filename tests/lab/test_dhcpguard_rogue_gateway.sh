#!/usr/bin/env bash
# DHCP protection with a server that names a gateway nobody has: the agent
# sends exactly three probe requests (zero padding first, counting padding
# after) and raises one alarm naming the server's MAC, in the attack log
# and, without a desktop, on its output.
DG=dhcpg_rogue
NET=82
source "$(dirname "$0")/dhcpguard_common.sh"
dg_setup dnsmasq dhclient
dg_start_all

lab_wait 30 dg_alarm_shown || lab_fail "no DHCP alarm"
lab_wait 5 lab_file_has "$LAB_TMP/agent.out" "$SRV_MAC" || lab_fail "the alarm was not shown on the agent's output"
sleep 2  # no fourth request may follow
# Three requests of 60 bytes: zero padding, then counting padding twice.
zero=000000000000000000000000000000000000
counting=2a2b2c2d2e2f303132333435363738393a3b
frames=$(dg_probe_frames)
[ "$frames" = "$(printf '60 %s\n' "$zero" "$counting" "$counting")" ] || lab_fail "probe requests (length, padding): $frames"
[ "$(dg_alarm_count)" = 1 ] || lab_fail "expected one alarm, the attack log holds $(dg_alarm_count)"
[ "$(lab_count "$(dg_attack_log)" "Send an Arp packet to $GW_IP,")" = 3 ] || lab_fail "expected three send entries"
grep -qF "WINDOW [Velmora - DHCP alarm]" "$LAB_TMP/agent.out" || lab_fail "no alarm window on the agent's output"
echo "PASS: three probe requests for $GW_IP, one alarm naming $SRV_MAC"
