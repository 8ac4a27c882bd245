#!/usr/bin/env bash
# IPv6 on a segment whose router is the kernel, advertising fd77:6::/64
# through radvd every 3-4 s; the attacker sends its frames with frame_inject
# (built by ipv6guard_frame.py) and runs a rogue DHCPv6 server (dnsmasq).
# - The router's own advertisements raise nothing.
# - A forged neighbour advertisement for the router: probed (a duplicate
#   address probe to the router's MAC, which the router answers) and
#   reported as "AntiARP_RP_ND"; with the router listed, reported and its
#   entry bound (PERMANENT with the router's MAC).
# - A rogue router advertisement: reported as "AntiARP_RP_RA", and the
#   default route the kernel installed from it removed.
# - The rogue DHCPv6 server answering the host's dhclient: "AntiARP_RP_DHCP6".
LAB=ipv6g
NET=6
source "$(dirname "$0")/lab_common.sh"
FRAMES=$(dirname "$0")/ipv6guard_frame.py
lab_require radvd dnsmasq dhclient python3 tcpdump
lab_require_bin velmora-agent frame_inject
lab_start
LAB_DUMP+=(radvd.out rogue.out dhclient.out)

lab_bridge
ip -n "$LAB-seg" link set br0 type bridge mcast_snooping 0
# The bridge's own ports speak no IPv6.
ip netns exec "$LAB-seg" sysctl -qw net.ipv6.conf.default.disable_ipv6=1
lab_netns host gw spoof
for ns in host gw spoof; do
  # Only the addresses the test gives, usable at once.
  ip netns exec "$LAB-$ns" sysctl -qw net.ipv6.conf.default.addr_gen_mode=1 net.ipv6.conf.default.accept_dad=0 \
    || lab_fail "sysctl in $LAB-$ns"
done
ip netns exec "$LAB-gw" sysctl -qw net.ipv6.conf.all.forwarding=1
lab_port host h0 "$HOST_MAC" 10.77.$NET.10
lab_port gw g0 "$GW_MAC"
lab_port spoof s0 "$SPOOF_MAC"
ip -n "$LAB-host" addr add fe80::a/64 dev h0
ip -n "$LAB-gw" addr add fe80::1/64 dev g0
ip -n "$LAB-gw" addr add fd77:6::1/64 dev g0
ip -n "$LAB-spoof" addr add fe80::66/64 dev s0
ip -n "$LAB-spoof" addr add fd77:6::66/64 dev s0

cat >"$LAB_TMP/radvd.conf" <<CONF
interface g0 {
  AdvSendAdvert on;
  MinRtrAdvInterval 3;
  MaxRtrAdvInterval 4;
  prefix fd77:6::/64 { };
};
CONF
lab_bg gw radvd.out radvd -n -m stderr -C "$LAB_TMP/radvd.conf" -p "$LAB_TMP/radvd.pid"
# send na|ra: the attacker's forged neighbour or rogue router advertisement.
send() { lab_inject spoof s0 "$(python3 "$FRAMES" "$1")"; }
default_routes() { ip -n "$LAB-host" -6 route show default; }
router_entry() { ip -n "$LAB-host" -6 neigh show fe80::1 dev h0; }
lab_wait 20 sh -c "ip -n $LAB-host -6 route show default | grep -q 'via fe80::1 dev h0 proto ra'" \
  || lab_fail "the host has no default route from the router: $(default_routes)"
lab_capture host h0 host.pcap icmp6

reports() { grep -o '"str_desc":"AntiARP_RP_[A-Z0-9]*","mapDesc":{[^}]*}' "$LAB_TMP/home/core/reports.jsonl" 2>/dev/null; }
has_report() { reports | grep -qxF "\"str_desc\":\"$1\",\"mapDesc\":{\"ip\":\"$2\",\"mac\":\"$SPOOF_MAC\"}"; }
frame_lines() { tcpdump -r "$LAB_TMP/host.pcap" -nn -e "$@" 2>/dev/null; }
frames() { frame_lines "$@" | wc -l; }
adverts_from_router() { frames "ether src $GW_MAC and ip6[40] == 134"; }
start_agent() {
  [ -n "$LAB_AGENT" ] && { lab_stop_agent TERM; mv "$LAB_TMP/home" "$LAB_TMP/home-probe"; mkdir -p "$LAB_TMP/home"; }
  lab_host_agent "$(lab_policy 1 0 "" 0 "$1")" 150
  lab_file_has "$LAB_TMP/home/log/Velmora.log" "IPv6 guard: 1 routers in the table" \
    || lab_fail "the guard did not read the router from the kernel"
}

start_agent '{"ipv6": true, "ipv6_remove_rogue_routes": true, "dhcp6_servers": ["00:03:00:01:02:77:06:00:00:02"]}'
seen=$(adverts_from_router)
more_adverts() { [ "$(adverts_from_router)" -gt "$seen" ]; }
lab_wait 10 more_adverts || lab_fail "no advertisement of the router while the agent ran"

send na
lab_wait 5 has_report AntiARP_RP_ND fe80::1 || lab_fail "no AntiARP_RP_ND for the forged advertisement: $(reports)"
[ "$(frames "ether src $HOST_MAC and ether dst $GW_MAC and ip6[40] == 135")" -ge 1 ] \
  || lab_fail "no probe to the router's MAC"
# The router's answer puts its MAC back, unless the forger's advertisement
# reached the host's stack after it (through another CPU's queue).
lab_wait 2 sh -c "ip -n $LAB-host -6 neigh show fe80::1 dev h0 | grep -qF 'lladdr $GW_MAC'" \
  || [ "$(frame_lines "ip6[40] == 136" | grep -F "is fe80::1," | tail -n 2 | cut -d' ' -f2 | xargs)" = "$GW_MAC $SPOOF_MAC" ] \
  || lab_fail "the router's answer did not put its MAC back: $(router_entry)"

send ra
lab_wait 5 has_report AntiARP_RP_RA fe80::66 || lab_fail "no AntiARP_RP_RA for the rogue advertisement: $(reports)"
lab_wait 5 lab_file_has "$LAB_TMP/home/log/Velmora.log" "default route(s) via rogue IPv6 router fe80::66" \
  || lab_fail "the rogue's default route was not removed: $(default_routes)"
! default_routes | grep -q fe80::66 || lab_fail "the rogue's default route is still there: $(default_routes)"
default_routes | grep -q 'via fe80::1' || lab_fail "the router's default route went too: $(default_routes)"

lab_dnsmasq spoof rogue --interface=s0 --dhcp-range=fd77:6::100,fd77:6::1ff,64,1h
lab_dhclient dhclient -6
lab_wait 20 has_report AntiARP_RP_DHCP6 fe80::66 || lab_fail "no AntiARP_RP_DHCP6 for the rogue server: $(reports)"
kill "$LAB_BG" 2>/dev/null
grep -q '"iAttackType":2,[^}]*"str_desc":"AntiARP_RP_DHCP6"' "$LAB_TMP/home/core/reports.jsonl" \
  || lab_fail "AntiARP_RP_DHCP6 is not of attack type 2"
[ "$(reports | wc -l)" = 3 ] || lab_fail "expected three reports, got: $(reports)"

# Listed: the forged advertisement binds the router's entry.
start_agent '{"ipv6_routers": ["fe80::1-'"$GW_MAC"'"]}'
send na
lab_wait 5 has_report AntiARP_RP_ND fe80::1 || lab_fail "[listed] no AntiARP_RP_ND: $(reports)"
lab_wait 2 sh -c "ip -n $LAB-host -6 neigh show fe80::1 dev h0 | grep -qF 'lladdr $GW_MAC PERMANENT'" \
  || lab_fail "[listed] the router's entry is not bound: $(router_entry)"
send na
sleep 0.5
router_entry | grep -qF "lladdr $GW_MAC PERMANENT" || lab_fail "[listed] a second claim moved the entry: $(router_entry)"
[ "$(reports | wc -l)" = 1 ] || lab_fail "[listed] expected one report, got: $(reports)"
! grep -q "$GW_MAC" "$LAB_TMP"/home*/core/reports.jsonl || lab_fail "the router itself was reported"
echo "PASS: forged advertisement probed and reported, listed: bound; rogue router reported, its route removed;" \
  "rogue DHCPv6 server reported; $(adverts_from_router) advertisements of the router raised nothing"
