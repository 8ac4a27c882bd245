# Shared by the ARP watch lab tests (sourced, not run on its own).
#
# One segment: a bridge in namespace $AW-seg, with three namespaces on it:
#   $AW-host   the agent's host, 10.77.$NET.10, MAC $HOST_MAC, default
#              route via the gateway; the agent captures live on h0
#   $AW-gw     the gateway, 10.77.$NET.1, MAC $GW_MAC (its kernel answers ARP)
#   $AW-spoof  the spoofer, 10.77.$NET.66, MAC $SPOOF_MAC
# Everything the host sends is captured on its bridge port. Nothing leaves
# these namespaces. The caller sets AW (unique prefix) and NET, then calls
# aw_setup; the cleanup runs on exit.

LAB=$AW
source "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"

aw_setup() {
  lab_require tcpdump timeout
  lab_require_bin velmora-agent frame_inject
  GW_NEW_MAC=$(lab_mac 02)
  lab_start
  lab_bridge
  lab_netns host gw spoof
  lab_port host h0 "$HOST_MAC" "$HOST_IP"
  lab_port gw g0 "$GW_MAC" "$GW_IP"
  lab_port spoof s0 "$SPOOF_MAC" "$SPOOF_IP"
  ip -n "$AW-host" route add default via "$GW_IP" dev h0 || lab_fail "default route"
  # The host knows its gateway before the agent starts: the guard learns
  # the dynamic entry from the table.
  ip -n "$AW-host" neigh replace "$GW_IP" lladdr "$GW_MAC" dev h0 nud reachable || lab_fail "neighbour"
  # What the host sends, on its bridge port.
  lab_capture seg ph0 host.pcap arp
}

# aw_policy MODE AUTOBIND BINDLIST: a config with one policy record, and
# guard.repair_cache set to $AW_REPAIR_CACHE when that is set.
aw_policy() { lab_policy "$1" "$2" "$3" 0 "${AW_REPAIR_CACHE:+{\"repair_cache\": $AW_REPAIR_CACHE\}}"; }

# aw_claim NS IFACE MAC: from namespace $AW-NS, an ARP reply to the host
# saying "$GW_IP is at MAC".
aw_claim() { lab_inject "$1" "$2" "$(lab_claim_hex "$3")"; }

# The plug-in's probe requests: from the host, asking for the gateway's
# address and naming the MAC it asks (the kernel's own requests leave the
# target MAC zero, which tcpdump does not print).
aw_probe_count() {
  tcpdump -r "$LAB_TMP/host.pcap" -nn arp 2>/dev/null | grep -cF "Request who-has $GW_IP ($1) tell $HOST_IP"
}

aw_report_count() { lab_count "$LAB_TMP/home/core/reports.jsonl" "$1"; }

# Frames the plug-in's ARP callback has seen from an address (each is
# written to the attack log on its way to the DHCP probe).
aw_seen_from() { lab_count "$LAB_TMP/home/log/Attack.log" "Recieve an Arp packet from $1,"; }

# Conditions for lab_wait (evaluated on every poll).
aw_probes_at_least() { [ "$(aw_probe_count "$1")" -ge "$2" ]; }
aw_seen_more_than() { [ "$(aw_seen_from "$1")" -gt "$2" ]; }

# Protection by binding: the agent in protection mode 2 with auto-binding and
# the gateway's pair in its list; a spoofer claims the gateway's address.
aw_bind_start() {
  aw_setup
  lab_host_agent "$(aw_policy 2 1 "$GW_IP-$GW_MAC")"
  aw_claim spoof s0 "$SPOOF_MAC"
}
aw_gateway_entry() { ip -n "$AW-host" neigh show "$GW_IP" dev h0; }
aw_gateway_entry_has() { aw_gateway_entry | grep -qF -- "$1"; }

# aw_start_probing NAME NET REPAIR_NET: the segment (AW=NAME on 10.77.NET;
# with AW_REPAIR_CACHE, a segment of its own on 10.77.REPAIR_NET) set up,
# the host's capture on and the agent started with protection by probing
# (mode 1).
aw_start_probing() {
  AW=$1 NET=$2
  [ -n "${AW_REPAIR_CACHE:-}" ] && AW+=_repair_$AW_REPAIR_CACHE NET=$3
  LAB=$AW
  aw_setup
  lab_host_agent "$(aw_policy 1 0 "")"
}
