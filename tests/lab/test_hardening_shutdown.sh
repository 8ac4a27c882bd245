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

lab_addresses
STOP_LIMIT_MS=1000

lab_sender_segment

# A private X server on a display nobody uses.
for n in $(seq 81 99); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -nolisten tcp -screen 0 800x600x24 >"$LAB_TMP/xvfb.out" 2>&1 &
  xpid=$!
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xpid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xpid" 2>/dev/null; then
    LAB_PIDS+=("$xpid")
    DISPLAY_NUMBER=$n
    break
  fi
  kill "$xpid" 2>/dev/null
done
[ -n "${DISPLAY_NUMBER:-}" ] || lab_fail "no X server could be started"
LAB_AGENT_WRAP=(env -u WAYLAND_DISPLAY DISPLAY=":$DISPLAY_NUMBER" NO_AT_BRIDGE=1)

# A unicast offer of HOST_IP from ROGUE_MAC naming ROUTER as the gateway.
offer_hex() {
  local src dst ip udp bootp
  src=$(lab_hex_ip 10.77.$NET.99)
  dst=$(lab_hex_ip "$HOST_IP")
  bootp="020106000000beef00000000$(lab_zeros 4)${dst}$(lab_zeros 4)$(lab_zeros 4)$(lab_hex_mac "$HOST_MAC")"
  bootp+="$(lab_zeros 10)$(lab_zeros 192)638253633501020304$(lab_hex_ip "$1")ff"
  bootp+=$(lab_zeros $(( 300 - ${#bootp} / 2 )))
  udp="00430044$(printf %04x $(( 8 + ${#bootp} / 2 )))0000$bootp"
  ip="4500$(printf %04x $(( 20 + ${#udp} / 2 )))000000004011"
  ip="${ip}$(lab_ip_checksum "${ip}0000${src}${dst}")${src}${dst}"
  echo "$(lab_hex_mac "$HOST_MAC")$(lab_hex_mac "$ROGUE_MAC")0800${ip}${udp}"
}
claim_hex() {
  echo "$(lab_hex_mac "$HOST_MAC")$(lab_hex_mac "$SPOOF_MAC")08060001080006040002$(lab_hex_mac "$SPOOF_MAC")$(lab_hex_ip "$GW_IP")$(lab_hex_mac "$HOST_MAC")$(lab_hex_ip "$HOST_IP")$(lab_zeros 18)"
}
window_open() {
  lab_file_has "$LAB_TMP/agent.out" "WINDOW [Velmora - DHCP alarm]" || return 1
  command -v xwininfo >/dev/null || return 0
  DISPLAY=":$DISPLAY_NUMBER" xwininfo -root -tree 2>/dev/null | grep -qF '"Velmora - DHCP alarm"'
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

for signal in TERM INT; do
  rm -rf "$LAB_TMP/home" "$LAB_TMP/agent.out"
  mkdir -p "$LAB_TMP/home"
  lab_policy 1 0 "" 1 >"$LAB_TMP/config.json"
  lab_start_agent host --config "$LAB_TMP/config.json" --iface h0 --run-for 120
  # A silent gateway: three requests, then the alarm window opens.
  lab_inject send f0 "$(offer_hex 10.77.$NET.200)"
  lab_wait 10 window_open || lab_fail "SIG$signal: the alarm window did not open"
  # Pending: gateway probes, an ARP probe of the old MAC, and a flood.
  for gw in 201 202 203; do lab_inject send f0 "$(offer_hex 10.77.$NET.$gw)"; done
  lab_inject send f0 "$(claim_hex)"
  probes_sent() { [ "$(lab_count "$LAB_TMP/home/log/Attack.log" "Send an Arp packet to 10.77.$NET.20")" -ge 4 ]; }
  lab_wait 2 probes_sent || lab_fail "SIG$signal: the gateway probes are not pending"
  ip netns exec "$LAB-send" "$BIN/hardening_flood" f0 dhcp-offers "$HOST_IP" "$HOST_MAC" 5 >"$LAB_TMP/flood.out" 2>&1 &
  flood=$!
  LAB_PIDS+=("$flood")
  sleep 1
  window_open || lab_fail "SIG$signal: the alarm window closed before the signal"

  start=$(now_ms)
  kill "-$signal" "$LAB_AGENT"
  stopped=""
  for _ in $(seq 1 300); do
    if ! kill -0 "$LAB_AGENT" 2>/dev/null; then stopped=$(now_ms); break; fi
    sleep 0.01
  done
  [ -n "$stopped" ] || lab_fail "SIG$signal: the agent is still running 3 s later"
  wait "$LAB_AGENT"
  status=$?
  took=$(( stopped - start ))
  wait "$flood" 2>/dev/null
  echo "SIG$signal: stopped in $took ms, exit $status"
  [ "$status" = 0 ] || lab_fail "SIG$signal: exit status $status"
  [ "$took" -le "$STOP_LIMIT_MS" ] || lab_fail "SIG$signal: took $took ms"
  lab_file_has "$LAB_TMP/home/log/Velmora.log" "stopped by SIG$signal" || lab_fail "SIG$signal: not said in the log"
  [ "$(tail -n 1 "$LAB_TMP/home/log/Velmora.log" | grep -c 'velmora-agent stopped')" = 1 ] \
    || lab_fail "SIG$signal: the log does not end with the closing line"
  lab_file_has "$LAB_TMP/agent.out" "velmora-agent summary" || lab_fail "SIG$signal: no summary"
done
echo "PASS: SIGTERM and SIGINT stop the agent within $STOP_LIMIT_MS ms with an alarm window open and probes pending"
