# Shared by the ARP watch lab tests (sourced, not run on its own).
#
# One segment: a bridge in namespace $AW-seg, with three namespaces on it:
#   $AW-host   the agent's host, 10.77.$NET.10, MAC $HOST_MAC, default
#              route via the gateway; the agent captures live on h0
#   $AW-gw     the gateway, 10.77.$NET.1, MAC $GW_MAC (its kernel answers ARP)
#   $AW-spoof  the spoofer, 10.77.$NET.66, MAC $SPOOF_MAC
# Everything the host sends is captured on its bridge port. Nothing leaves
# these namespaces. The caller sets AW (unique prefix) and NET, then calls
# aw_setup; aw_cleanup runs on exit.

BIN=${1:-}
AW_PIDS=()
AW_TMP=""

aw_skip() { echo "SKIP: $*"; exit 77; }
aw_fail() {
  echo "FAIL: $*"
  if [ -n "$AW_TMP" ]; then
    for f in "$AW_TMP"/home/core/reports.jsonl "$AW_TMP"/home/log/Velmora.log "$AW_TMP"/agent.out; do
      [ -f "$f" ] && { echo "--- $f"; tail -n 40 "$f"; }
    done
    [ -f "$AW_TMP/host.pcap" ] && { echo "--- frames sent by the host"; tcpdump -r "$AW_TMP/host.pcap" -nn -e arp 2>/dev/null | tail -n 20; }
  fi
  exit 1
}

aw_require() {
  [ "$(id -u)" = 0 ] || aw_skip "needs root"
  [ -n "$BIN" ] || aw_skip "no bin folder given"
  for tool in ip tcpdump timeout; do command -v "$tool" >/dev/null || aw_skip "$tool missing"; done
  [ -x "$BIN/velmora-agent" ] || aw_skip "$BIN/velmora-agent not built"
  [ -x "$BIN/frame_inject" ] || aw_skip "$BIN/frame_inject not built"
  ip netns add "$AW-probe" 2>/dev/null || aw_skip "cannot create network namespaces"
  ip netns del "$AW-probe"
}

aw_cleanup() {
  local pid
  for pid in "${AW_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${AW_PIDS[@]}"; do
    for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  local ns
  for ns in host gw spoof seg probe; do ip netns del "$AW-$ns" 2>/dev/null; done
  [ -n "$AW_TMP" ] && rm -rf "$AW_TMP"
  return 0
}

aw_setup() {
  HOST_IP=10.77.$NET.10
  GW_IP=10.77.$NET.1
  SPOOF_IP=10.77.$NET.66
  HOST_MAC=02:77:$(printf %02x "$NET"):00:00:0a
  GW_MAC=02:77:$(printf %02x "$NET"):00:00:01
  GW_NEW_MAC=02:77:$(printf %02x "$NET"):00:00:02
  SPOOF_MAC=02:77:$(printf %02x "$NET"):00:00:66
  AW_TMP=$(mktemp -d "/tmp/$AW.XXXXXX")
  mkdir -p "$AW_TMP/home"
  trap aw_cleanup EXIT

  local ns
  for ns in seg host gw spoof; do ip netns add "$AW-$ns" || aw_fail "netns $AW-$ns"; done
  ip -n "$AW-seg" link add br0 type bridge || aw_fail "bridge"
  ip -n "$AW-seg" link set br0 up
  aw_port host h0 "$HOST_MAC" "$HOST_IP"
  aw_port gw g0 "$GW_MAC" "$GW_IP"
  aw_port spoof s0 "$SPOOF_MAC" "$SPOOF_IP"
  ip -n "$AW-host" route add default via "$GW_IP" dev h0 || aw_fail "default route"
  # The host knows its gateway before the agent starts: the guard learns
  # the dynamic entry from the table.
  ip -n "$AW-host" neigh replace "$GW_IP" lladdr "$GW_MAC" dev h0 nud reachable || aw_fail "neighbour"
}

# aw_port NS IFACE MAC IP: a veth from the bridge into namespace $AW-NS.
aw_port() {
  ip -n "$AW-seg" link add "p$2" type veth peer name "$2" netns "$AW-$1" || aw_fail "veth $2"
  ip -n "$AW-seg" link set "p$2" master br0 up
  ip -n "$AW-$1" link set "$2" address "$3"
  ip -n "$AW-$1" addr add "$4/24" dev "$2"
  ip -n "$AW-$1" link set lo up
  ip -n "$AW-$1" link set "$2" up
}

# aw_wait SECONDS COMMAND...: polls every 0.1 s until COMMAND succeeds.
aw_wait() {
  local limit=$(( $1 * 10 )); shift
  local i
  for i in $(seq 1 "$limit"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

aw_file_has() { [ -f "$1" ] && grep -qF -- "$2" "$1"; }

# Captures what the host sends, on its bridge port.
aw_capture_host() {
  ip netns exec "$AW-seg" tcpdump -U --immediate-mode -n -Z root -i ph0 -w "$AW_TMP/host.pcap" arp >/dev/null 2>"$AW_TMP/tcpdump.err" &
  AW_PIDS+=($!)
  aw_wait 10 aw_file_has "$AW_TMP/tcpdump.err" "listening on" || aw_fail "tcpdump did not start"
}

# aw_start_agent CONFIG_JSON: the agent in the host namespace, live on h0.
aw_start_agent() {
  printf '%s\n' "$1" >"$AW_TMP/config.json"
  ip netns exec "$AW-host" "$BIN/velmora-agent" --config "$AW_TMP/config.json" --home "$AW_TMP/home" \
    --iface h0 --run-for 120 >"$AW_TMP/agent.out" 2>&1 &
  AW_PIDS+=($!)
  aw_wait 15 aw_file_has "$AW_TMP/home/log/Velmora.log" "HWinPCapHelper::instance().start() ret 0" \
    || aw_fail "the agent did not start capturing"
  sleep 0.3  # the capture thread opens after start() returns
}

# aw_policy MODE AUTOBIND BINDLIST: a config with one policy record.
aw_policy() {
  cat <<JSON
{"policy": [{"strPolicyID": "$AW", "iStateMask": 1, "iAntiARPSpoofing": $1, "strBindList": "$3",
             "iAntiDHCPSpoofing": 0, "iAutoBind": $2, "alarm_msg": "lab $AW"}],
 "agent": {"name": "Velmora", "online": true, "state": 1, "auth_802": false, "core_accepts": true, "heartbeat_s": 30}}
JSON
}

aw_hex_mac() { echo "${1//:/}"; }
aw_hex_ip() { local a b c d; IFS=. read -r a b c d <<<"$1"; printf '%02x%02x%02x%02x' "$a" "$b" "$c" "$d"; }

# aw_claim NS IFACE MAC: from namespace $AW-NS, an ARP reply to the host
# saying "$GW_IP is at MAC" (60 bytes, zero padding).
aw_claim() {
  local frame
  frame="$(aw_hex_mac "$HOST_MAC")$(aw_hex_mac "$3")0806"
  frame+="0001080006040002$(aw_hex_mac "$3")$(aw_hex_ip "$GW_IP")$(aw_hex_mac "$HOST_MAC")$(aw_hex_ip "$HOST_IP")"
  frame+="000000000000000000000000000000000000"
  ip netns exec "$AW-$1" "$BIN/frame_inject" "$2" "$frame" || aw_fail "frame_inject in $AW-$1"
}

# The plug-in's probe requests: from the host, asking for the gateway's
# address and naming the MAC it asks (the kernel's own requests leave the
# target MAC zero, which tcpdump does not print).
aw_probe_count() {
  tcpdump -r "$AW_TMP/host.pcap" -nn arp 2>/dev/null | grep -cF "Request who-has $GW_IP ($1) tell $HOST_IP"
}

aw_reports() { [ -f "$AW_TMP/home/core/reports.jsonl" ] && grep -F -- "$1" "$AW_TMP/home/core/reports.jsonl"; }
aw_report_count() { aw_reports "$1" | wc -l; }

# Frames the plug-in's ARP callback has seen from an address (each is
# written to the attack log on its way to the DHCP probe).
aw_seen_from() {
  local log="$AW_TMP/home/log/Attack.log"
  [ -f "$log" ] || { echo 0; return; }
  grep -cF "Recieve an Arp packet from $1," "$log"
}

# Conditions for aw_wait (evaluated on every poll).
aw_probes_at_least() { [ "$(aw_probe_count "$1")" -ge "$2" ]; }
aw_seen_more_than() { [ "$(aw_seen_from "$1")" -gt "$2" ]; }
