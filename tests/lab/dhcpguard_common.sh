# Shared by the DHCP guard lab tests (sourced, not run on its own).
#
# One segment: a bridge in namespace $DG-seg, with these namespaces on it:
#   $DG-host  the agent's host, MAC $HOST_MAC, no address until DHCP; the
#             agent captures live on h0 and a DHCP client asks there
#   $DG-srv   the DHCP server (dnsmasq, no DNS), 10.77.$NET.2, MAC $SRV_MAC
#   $DG-gw    (only when dg_add_gateway is called) the gateway the server
#             names, 10.77.$NET.1, MAC $GW_MAC; its kernel answers ARP
# Everything on the segment is captured in the server's namespace. Nothing
# leaves these namespaces. The caller sets DG (unique prefix) and NET, then
# calls dg_setup; the cleanup runs on exit.

LAB=$DG
source "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
LAB_DUMP+=(dnsmasq.out dhclient.out)
# Without a desktop the alarm window is told on the agent's output.
LAB_AGENT_WRAP=(env -u DISPLAY -u WAYLAND_DISPLAY)

# dg_setup TOOL...: the segment, once root, network namespaces, the built
# agent and the tools are there.
dg_setup() {
  lab_require tcpdump timeout "$@"
  lab_require_bin velmora-agent
  SRV_IP=10.77.$NET.2
  LEASE_IP=10.77.$NET.50
  SRV_MAC=$(lab_mac 02)
  lab_start
  lab_bridge
  lab_netns host srv
  lab_port host h0 "$HOST_MAC" ""
  lab_port srv s0 "$SRV_MAC" "$SRV_IP"
}

dg_add_gateway() {
  lab_netns gw
  lab_port gw g0 "$GW_MAC" "$GW_IP"
}

# Captures the whole segment, from the server's side.
dg_capture() { lab_capture srv s0 seg.pcap; }

# The capture, the agent, the server and the client asking for a lease.
dg_start_all() {
  dg_capture
  dg_start_agent
  dg_start_dnsmasq
  dg_start_dhclient
}

# The agent in the host namespace, live on h0: DHCP protection on, ARP
# protection off; GUARD (JSON), when given, as the guard section.
dg_start_agent() {
  lab_host_agent "$(lab_policy 0 0 "" 1 "${1:-}")"
  lab_file_has "$LAB_TMP/home/log/Velmora.log" "DHCP only: ARP answers go to the DHCP probe" \
    || lab_fail "the agent did not hand ARP answers to the DHCP probe"
}

# dnsmasq as the DHCP server, naming $GW_IP as the router (ARG... added).
dg_start_dnsmasq() {
  lab_dnsmasq srv dnsmasq --interface=s0 --dhcp-range="$LEASE_IP,$LEASE_IP,255.255.255.0,1h" \
    --dhcp-option="3,$GW_IP" "$@"
}

# dhclient (output in NAME.out, dhclient.out by default) asks once for a
# lease on h0. Its config leaves the broadcast flag clear, so the offer
# comes unicast to the host's MAC.
dg_start_dhclient() {
  printf 'request subnet-mask, routers;\ntimeout 20;\n' >"$LAB_TMP/dhclient.conf"
  lab_dhclient "${1:-dhclient}" -cf "$LAB_TMP/dhclient.conf"
}

dg_attack_log() { echo "$LAB_TMP/home/log/Attack.log"; }

# The gateway probe's requests on the wire (broadcast from the host, asking
# for the gateway with the offered address as sender), one line each: the
# frame's length and its padding (bytes 42 to 59) in hex.
dg_probe_frames() {
  tcpdump -r "$LAB_TMP/seg.pcap" -nn -e -xx arp 2>/dev/null |
    awk -v mac="$HOST_MAC" -v want="Request who-has $GW_IP tell $LEASE_IP" '
      function flush() { if (keep) printf "%d %s\n", length(hex) / 2, substr(hex, 85, 36); keep = 0; hex = "" }
      /^[0-9]/ { flush(); keep = index($0, mac " > ff:ff:ff:ff:ff:ff") && index($0, want); next }
      keep { for (i = 2; i <= NF; i++) hex = hex $i }
      END { flush() }'
}
dg_probe_count() { dg_probe_frames | wc -l; }

# Of what the attack log holds, only the alarm text names the server's MAC
# in this form (offers are logged as bytes).
dg_alarm_count() { lab_count "$(dg_attack_log)" "$SRV_MAC"; }
dg_alarm_shown() { [ "$(dg_alarm_count)" -ge 1 ]; }
