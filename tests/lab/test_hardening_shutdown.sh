#!/usr/bin/env bash
# SIGTERM and SIGINT stop the agent within a second, exit 0, with its logs
# written to the end and its summary printed, also while a DHCP alarm window
# is open on a display, gateway probes and an ARP probe are pending, and a
# flood of offers is still coming in.
#
# Two namespaces joined by a veth pair: the agent's host (10.77.92.10, its
# gateway 10.77.92.1 known with a MAC that never answers) and a sender. The
# alarm window opens on a private X server (Xvfb). Nothing leaves the
# namespaces.
set -uo pipefail
LAB=hardening_shutdown
NET=92
source "$(dirname "$0")/lab_common.sh"
lab_require timeout Xvfb
lab_require_bin velmora-agent frame_inject hardening_flood
lab_start

STOP_LIMIT_MS=1000
lab_sender_segment "$SPOOF_MAC" "$SPOOF_IP"
lab_xvfb
LAB_AGENT_WRAP=(env -u WAYLAND_DISPLAY NO_AT_BRIDGE=1)

# A unicast offer of HOST_IP from ROGUE_MAC naming ROUTER as the gateway.
offer() { lab_inject send f0 "$(lab_offer_hex "$ROGUE_MAC" 10.77.$NET.99 "$HOST_IP" "$1")"; }

for signal in TERM INT; do
  rm -rf "$LAB_TMP/home" "$LAB_TMP/agent.out"
  mkdir -p "$LAB_TMP/home"
  lab_host_agent "$(lab_policy 1 0 "" 1)"
  # A silent gateway: three requests, then the alarm window opens.
  offer 10.77.$NET.200
  lab_wait 10 lab_alarm_window_open || lab_fail "SIG$signal: the alarm window did not open"
  # Pending: gateway probes, an ARP probe of the old MAC, and a flood.
  for gw in 201 202 203; do offer 10.77.$NET.$gw; done
  lab_inject send f0 "$(lab_claim_hex "$SPOOF_MAC")"
  probes_sent() { [ "$(lab_count "$LAB_TMP/home/log/Attack.log" "Send an Arp packet to 10.77.$NET.20")" -ge 4 ]; }
  lab_wait 2 probes_sent || lab_fail "SIG$signal: the gateway probes are not pending"
  lab_bg send flood.out "$BIN/hardening_flood" f0 dhcp-offers "$HOST_IP" "$HOST_MAC" 5
  sleep 1
  lab_alarm_window_open || lab_fail "SIG$signal: the alarm window closed before the signal"

  lab_stop_agent "$signal"
  wait "$LAB_BG" 2>/dev/null
  [ "$LAB_STOP_MS" -le "$STOP_LIMIT_MS" ] || lab_fail "SIG$signal: took $LAB_STOP_MS ms"
  lab_file_has "$LAB_TMP/home/log/Velmora.log" "stopped by SIG$signal" || lab_fail "SIG$signal: not said in the log"
  [ "$(tail -n 1 "$LAB_TMP/home/log/Velmora.log" | grep -c 'velmora-agent stopped')" = 1 ] \
    || lab_fail "SIG$signal: the log does not end with the closing line"
  lab_file_has "$LAB_TMP/agent.out" "velmora-agent summary" || lab_fail "SIG$signal: no summary"
done
echo "PASS: SIGTERM and SIGINT stop the agent within $STOP_LIMIT_MS ms with an alarm window open and probes pending"
