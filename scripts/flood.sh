#!/usr/bin/env bash
# Floods the agent with hostile frames and shows that it holds: for each
# kind of flood a sender namespace and the agent's namespace are joined by
# a veth pair; the sender sends as fast as the lab takes it for a bounded
# time, and halfway a genuine attack is sent (five times, 100 ms apart, as
# an attacker repeats). Kinds:
#   arp-claims      ARP replies to the host from ever new senders (mode 2,
#                   auto-binding); genuine: a spoofer claims the gateway,
#                   expected "AntiARP_RP_ARP_BIND"
#   gateway-claims  the gateway claimed for ever new MACs (mode 1, probing);
#                   genuine: an offer without address, "AntiARP_RP_DHCP"
#   dhcp-offers     unicast offers naming ever new gateways; genuine: an
#                   offer without address, "AntiARP_RP_DHCP"
# Checked for each: the genuine attack is reported, the agent's peak
# resident memory stays under the bound, the attack log and the general log
# stay within their sizes, the drops are counted and logged, and SIGTERM
# stops the agent within a second with exit 0. One FIGURE line per number.
#   scripts/flood.sh BIN [--seconds N] [--rss-mb M] [--kinds "a b"]
# Needs root; exits 77 (skip) without it or without a tool.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
LAB=hardening_flood
NET=91
source "$HERE/../tests/lab/lab_common.sh" "${1:-}"
shift || true
SECONDS_EACH=20
RSS_LIMIT_MB=128
KINDS="arp-claims gateway-claims dhcp-offers"
lab_options "seconds=SECONDS_EACH rss-mb=RSS_LIMIT_MB kinds=KINDS" "$@"
[ "$SECONDS_EACH" -ge 2 ] && [ "$SECONDS_EACH" -le 600 ] || { echo "flood.sh: --seconds must be 2..600"; exit 2; }

lab_require timeout
lab_require_bin velmora-agent frame_inject hardening_flood
lab_start
LAB_DUMP=(home/core/reports.jsonl home/log/Velmora.log agent.out flood.out)

ATTACK_LOG_MAX=307200
GENERAL_LOG_MAX=$((10 * 1024 * 1024))
LINE_MAX=4096
failures=0

figure() { echo "FIGURE $KIND $1 $2"; }
problem() { echo "PROBLEM $KIND: $*"; failures=$((failures + 1)); }

# Samples VmRSS of the agent every 0.2 s into rss.samples (kB).
sample_rss() {
  local pid=$1
  while kill -0 "$pid" 2>/dev/null; do
    awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null >>"$LAB_TMP/rss.samples"
    sleep 0.2
  done
}

file_size() { if [ -f "$1" ]; then stat -c %s "$1"; else echo 0; fi; }
last_number() { grep -oE "$2 [0-9]+" "$1" 2>/dev/null | tail -n 1 | grep -oE '[0-9]+$' || echo 0; }

run_kind() {
  KIND=$1
  # The genuine attack: a rogue server's offer that assigns no address, or
  # the spoofer's claim of the gateway.
  local mode=2 autobind=1 expect='"str_desc":"AntiARP_RP_DHCP"' attack
  attack=$(lab_offer_hex "$ROGUE_MAC" 10.77.$NET.99 0.0.0.0)
  case $KIND in
    arp-claims) expect="\"str_desc\":\"AntiARP_RP_ARP_BIND\""; attack=$(lab_claim_hex "$SPOOF_MAC") ;;
    gateway-claims) mode=1; autobind=0 ;;
  esac
  echo "=== flood $KIND: ${SECONDS_EACH} s"
  lab_sender_segment "$SPOOF_MAC" "$SPOOF_IP"
  rm -rf "$LAB_TMP/home" "$LAB_TMP/rss.samples"
  mkdir -p "$LAB_TMP/home"
  LAB_AGENT_WRAP=(env -u DISPLAY -u WAYLAND_DISPLAY)
  lab_host_agent "$(lab_policy "$mode" "$autobind" "$GW_IP-$GW_MAC" 1)" $((SECONDS_EACH + 120))
  local agent=$LAB_AGENT
  sample_rss "$agent" &
  local sampler=$!
  local idle_kb
  idle_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$agent/status")

  ip netns exec "$LAB-send" "$BIN/hardening_flood" f0 "$KIND" "$HOST_IP" "$HOST_MAC" "$SECONDS_EACH" \
    >"$LAB_TMP/flood.out" 2>&1 &
  local flood=$!
  LAB_PIDS+=("$flood")
  sleep $((SECONDS_EACH / 2))
  lab_inject send f0 "$attack" 5 100
  wait "$flood"
  local reports="$LAB_TMP/home/core/reports.jsonl"
  if lab_wait 30 lab_file_has "$reports" "$expect"; then
    figure genuine_attack_reported yes
  else
    problem "the genuine attack was not reported ($expect)"
    figure genuine_attack_reported no
  fi

  lab_stop_agent TERM
  wait "$sampler" 2>/dev/null
  [ "$LAB_STOP_MS" -le 1100 ] || problem "SIGTERM took $LAB_STOP_MS ms"
  lab_file_has "$LAB_TMP/home/log/Velmora.log" "velmora-agent stopped" || problem "no closing line in the log"

  local peak_kb sent_line rate read dropped counter attack_size general_size
  peak_kb=$(sort -n "$LAB_TMP/rss.samples" | tail -n 1)
  sent_line=$(grep -E '^sent ' "$LAB_TMP/flood.out")
  rate=$(echo "$sent_line" | grep -oE '\(([0-9]+) per second' | grep -oE '[0-9]+')
  read=$(grep -oE 'frames read: +[0-9]+' "$LAB_TMP/agent.out" | grep -oE '[0-9]+$')
  dropped=$(grep -oE 'frames dropped by the capture: +[0-9]+' "$LAB_TMP/agent.out" | grep -oE '[0-9]+$')
  attack_size=$(( $(file_size "$LAB_TMP/home/log/Attack.log") ))
  general_size=$(( $(file_size "$LAB_TMP/home/log/Velmora.log") ))
  figure sent "$(echo "$sent_line" | grep -oE '^sent [0-9]+' | grep -oE '[0-9]+')"
  figure rate_per_s "${rate:-0}"
  figure frames_read_by_agent "${read:-0}"
  figure capture_drops "${dropped:-0}"
  # The log's last count of each kind of drop.
  for counter in "guard_queue_drops:claims dropped so far" "probe_list_drops:changes dropped so far" \
      "dhcp_probe_drops:gateways dropped so far" "guard_unlearned_claims:first claims not learned so far"; do
    figure "${counter%%:*}" "$(last_number "$LAB_TMP/home/log/Velmora.log" "${counter#*:}")"
  done
  figure rss_idle_mb $(( idle_kb / 1024 ))
  figure rss_peak_mb $(( peak_kb / 1024 ))
  figure rss_growth_mb $(( (peak_kb - idle_kb) / 1024 ))
  figure attack_log_bytes "$attack_size"
  figure general_log_bytes "$general_size"
  figure sigterm_stop_ms "$LAB_STOP_MS"
  [ $(( peak_kb / 1024 )) -lt "$RSS_LIMIT_MB" ] || problem "peak memory $(( peak_kb / 1024 )) MB, bound $RSS_LIMIT_MB MB"
  [ "$attack_size" -le $((ATTACK_LOG_MAX + LINE_MAX)) ] || problem "attack log $attack_size bytes"
  [ "$(file_size "$LAB_TMP/home/log/Attack.log.1")" -le $((ATTACK_LOG_MAX + LINE_MAX)) ] || problem "attack log .1 too big"
  [ "$general_size" -le $((GENERAL_LOG_MAX + LINE_MAX)) ] || problem "general log $general_size bytes"
  [ "${dropped:-0}" = 0 ] || grep -q "dropped" "$LAB_TMP/agent.out" || problem "capture drops not shown"
}

for kind in $KINDS; do run_kind "$kind"; done
echo
if [ "$failures" -ne 0 ]; then
  lab_fail "$failures problem(s)"
fi
echo "PASS: every flood held (bound $RSS_LIMIT_MB MB)"
