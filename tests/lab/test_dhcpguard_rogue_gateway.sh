#!/usr/bin/env bash
# DHCP protection with a server that names a gateway nobody has: the agent
# sends exactly three probe requests (zero padding first, counting padding
# after) and raises one alarm naming the server's MAC, in the attack log
# and, without a desktop, on its output.
DG=dhcpg_rogue
NET=82
source "$(dirname "$0")/dhcpguard_common.sh"
dg_require dnsmasq dhclient
dg_setup
dg_capture
dg_start_agent
dg_start_dnsmasq
dg_start_dhclient

dg_wait 30 dg_alarm_shown || dg_fail "no DHCP alarm"
dg_wait 5 dg_file_has "$DG_TMP/agent.out" "$SRV_MAC" || dg_fail "the alarm was not shown on the agent's output"
sleep 2  # no fourth request may follow
frames=$(dg_probe_frames)
[ "$(echo "$frames" | wc -l)" = 3 ] || dg_fail "expected three probe requests, saw: $frames"
zero=000000000000000000000000000000000000
counting=2a2b2c2d2e2f303132333435363738393a3b
[ "$(echo "$frames" | sed -n 1p)" = "60 $zero" ] || dg_fail "first request: $(echo "$frames" | sed -n 1p)"
[ "$(echo "$frames" | sed -n 2p)" = "60 $counting" ] || dg_fail "second request: $(echo "$frames" | sed -n 2p)"
[ "$(echo "$frames" | sed -n 3p)" = "60 $counting" ] || dg_fail "third request: $(echo "$frames" | sed -n 3p)"
[ "$(dg_alarm_count)" = 1 ] || dg_fail "expected one alarm, the attack log holds $(dg_alarm_count)"
[ "$(dg_count "$(dg_attack_log)" "Send an Arp packet to $GW_IP,")" = 3 ] || dg_fail "expected three send entries"
grep -qF "WINDOW [Velmora - DHCP alarm]" "$DG_TMP/agent.out" || dg_fail "no alarm window on the agent's output"
echo "PASS: three probe requests for $GW_IP, one alarm naming $SRV_MAC"
