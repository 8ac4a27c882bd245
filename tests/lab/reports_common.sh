# Shared by the lab tests of the way reports take (sourced, not run on its
# own). Two namespaces joined by a veth pair:
#   $RP-host  the agent's host, 10.77.$NET.10, MAC $HOST_MAC, default route
#             via the gateway; the agent captures live on h0
#   $RP-send  the gateway 10.77.$NET.1, MAC $GW_MAC (its kernel answers
#             ARP), from which the floods and the spoofer's claim are sent
# The agent runs protection by binding (mode 2, auto-binding) with DHCP
# protection on. The caller sets RP (unique prefix) and NET, then calls
# rp_setup; the cleanup runs on exit.

LAB=$RP
source "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"

rp_setup() {
  lab_require timeout
  lab_require_bin velmora-agent frame_inject hardening_flood
  lab_start
  lab_sender_segment "$GW_MAC" "$GW_IP"
  # No alarm window on a display: its lines go to standard output.
  LAB_AGENT_WRAP=(env -u DISPLAY -u WAYLAND_DISPLAY)
  REPORTS=$LAB_TMP/home/core/reports.jsonl
}

# rp_start_agent SECONDS: the agent for at most SECONDS in protection by
# binding with auto-binding, the gateway's pair in its list.
rp_start_agent() { lab_host_agent "$(lab_policy 2 1 "$GW_IP-$GW_MAC" 1)" "$1"; }

# rp_flood SECONDS RATE: unicast offers without address from ever new
# server MACs, in the background (pid in LAB_BG, output in flood.out).
rp_flood() { lab_bg send flood.out "$BIN/hardening_flood" f0 addressless-offers "$HOST_IP" "$HOST_MAC" "$1" "$2"; }

# The spoofer claims the gateway's address for its own MAC, to the host.
rp_spoof() { lab_inject send f0 "$(lab_claim_hex "$SPOOF_MAC")"; }

# rp_stop_within MS: SIGTERM ends the agent with status 0 within MS ms.
rp_stop_within() {
  lab_stop_agent TERM
  [ "$LAB_STOP_MS" -le "$1" ] || lab_fail "SIGTERM took $LAB_STOP_MS ms"
}
