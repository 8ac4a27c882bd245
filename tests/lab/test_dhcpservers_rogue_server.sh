#!/usr/bin/env bash
# Legitimate DHCP servers listed by address: a rogue dnsmasq that names
# itself as the gateway (so its gateway answers ARP) is reported once, by
# its MAC and address, as "AntiARP_RP_DHCP_SERVER"; the listed server's
# offers are not. The legitimate server answers two seconds late, so the
# client takes the rogue's lease: its DHCPACK is a repeat of the offer's
# report within the window. After a restart of the agent the client asks
# the rogue again for that lease, and the rogue's DHCPACK alone is reported.
DG=dhcps_list
NET=86
source "$(dirname "$0")/dhcpguard_common.sh"
LAB_DUMP+=(rogue.out dhclient2.out)
dg_setup dnsmasq dhclient
dg_add_gateway
ROGUE_IP=10.77.$NET.66
ROGUE_MAC=$(lab_mac 66)
ROGUE_LEASE_IP=10.77.$NET.60
lab_netns rogue
lab_port rogue r0 "$ROGUE_MAC" "$ROGUE_IP"
dg_capture

start_agent() { dg_start_agent "{\"dhcp_servers\": [\"$SRV_IP\"]}"; }
start_agent
lab_file_has "$LAB_TMP/home/log/Velmora.log" "dhcp_servers 1" || lab_fail "the server list did not reach the plug-in"

# The legitimate server, late; the rogue, at once, naming itself as the router.
dg_start_dnsmasq --dhcp-reply-delay=2
lab_dnsmasq rogue rogue --interface=r0 --dhcp-range="$ROGUE_LEASE_IP,$ROGUE_LEASE_IP,255.255.255.0,1h" \
  --dhcp-option="3,$ROGUE_IP"
dg_start_dhclient
DHCLIENT=$LAB_BG

records() { grep -o '"str_desc":"AntiARP_RP_DHCP_SERVER","mapDesc":{[^}]*}' "$LAB_TMP/home/core/reports.jsonl" 2>/dev/null; }
record_count() { records | wc -l; }
records_at_least() { [ "$(record_count)" -ge "$1" ]; }
want="\"str_desc\":\"AntiARP_RP_DHCP_SERVER\",\"mapDesc\":{\"ip\":\"$ROGUE_IP\",\"mac\":\"$ROGUE_MAC\"}"

lab_wait 30 lab_file_has "$LAB_TMP/dhclient.out" "DHCPACK of $ROGUE_LEASE_IP from $ROGUE_IP" \
  || lab_fail "the client did not take the rogue's lease"
# The legitimate server's late offer is seen too before anything is judged.
lab_wait 10 lab_file_has "$LAB_TMP/dnsmasq.out" "DHCPOFFER(s0) $LEASE_IP" || lab_fail "no offer from the listed server"
sleep 1
kill "$DHCLIENT"
lab_stop_agent TERM
[ "$(record_count)" = 1 ] || lab_fail "expected one report, got: $(records)"
[ "$(records)" = "$want" ] || lab_fail "the report does not name the rogue: $(records)"
lab_file_has "$LAB_TMP/home/log/Velmora.log" \
  "AntiARP_RP_DHCP_SERVER ip=$ROGUE_IP mac=$ROGUE_MAC: 1 repeats within 60 s suppressed" \
  || lab_fail "the rogue's DHCPACK was not judged as its repeat"

# A fresh agent (its start is told by a log of its own); the client
# reboots with its lease: a request and the rogue's DHCPACK, no offer.
mv "$LAB_TMP/home/log/Velmora.log" "$LAB_TMP/velmora-first-run.log"
start_agent
dg_start_dhclient dhclient2
lab_wait 30 lab_file_has "$LAB_TMP/dhclient2.out" "DHCPACK of $ROGUE_LEASE_IP from $ROGUE_IP" \
  || lab_fail "the client did not get the rogue's DHCPACK again"
lab_wait 5 records_at_least 2 || lab_fail "the rogue's DHCPACK was not reported"
! grep -q DHCPOFFER "$LAB_TMP/dhclient2.out" || lab_fail "an offer came before the DHCPACK"
[ "$(records | sed -n 2p)" = "$want" ] || lab_fail "the second report does not name the rogue: $(records)"
sleep 1
[ "$(record_count)" = 2 ] || lab_fail "expected two reports in all, got: $(records)"
! grep -q "$SRV_MAC" "$LAB_TMP/home/core/reports.jsonl" || lab_fail "the listed server was reported"
echo "PASS: the rogue $ROGUE_MAC ($ROGUE_IP) reported for its offer and, alone, for its DHCPACK; $SRV_IP never"
