#!/usr/bin/env bash
# The agent live on a real interface: it finds the interface of the default
# route, hands the plug-in only the frames coming in, sends the plug-in's
# requests on the wire, and stops cleanly on SIGTERM.
#
# Two namespaces joined by a veth pair: the host (10.77.93.10, default route
# via the peer) and the peer (10.77.93.1), which injects DHCP offers and
# captures what the host sends. Nothing leaves the namespaces.
set -uo pipefail

BIN=${1:-}
NS=agentlive
HOST_IP=10.77.93.10
PEER_IP=10.77.93.1
LOST_GW=10.77.93.254
HOST_MAC=02:77:5d:00:00:0a
PEER_MAC=02:77:5d:00:00:01
TMP=""
PIDS=()

skip() { echo "SKIP: $*"; exit 77; }
fail() {
  echo "FAIL: $*"
  if [ -n "$TMP" ]; then
    for f in "$TMP/agent.out" "$TMP/home/log/Velmora.log" "$TMP/home/core/reports.jsonl"; do
      [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }
    done
  fi
  exit 1
}

cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${PIDS[@]}"; do
    for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  ip netns del "$NS-host" 2>/dev/null
  ip netns del "$NS-peer" 2>/dev/null
  [ -n "$TMP" ] && rm -rf "$TMP"
  return 0
}

# wait_for SECONDS COMMAND...: polls every 0.1 s.
wait_for() {
  local limit=$(( $1 * 10 )); shift
  local i
  for i in $(seq 1 "$limit"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

has() { [ -f "$1" ] && grep -qF -- "$2" "$1"; }

[ "$(id -u)" = 0 ] || skip "needs root"
[ -n "$BIN" ] || skip "no bin folder given"
for tool in ip tcpdump timeout; do command -v "$tool" >/dev/null || skip "$tool missing"; done
[ -x "$BIN/velmora-agent" ] || skip "$BIN/velmora-agent not built"
[ -x "$BIN/frame_inject" ] || skip "$BIN/frame_inject not built"

trap cleanup EXIT
cleanup
TMP=$(mktemp -d "/tmp/$NS.XXXXXX")
ip netns add "$NS-host" || skip "cannot create network namespaces"
ip netns add "$NS-peer" || fail "netns $NS-peer"
ip -n "$NS-host" link add h0 type veth peer name p0 netns "$NS-peer" || fail "veth"
for side in "host h0 $HOST_MAC $HOST_IP" "peer p0 $PEER_MAC $PEER_IP"; do
  read -r ns dev mac addr <<<"$side"
  # No IPv6: the only frames on the link are the ones this test makes.
  ip netns exec "$NS-$ns" sh -c 'echo 1 >/proc/sys/net/ipv6/conf/all/disable_ipv6; echo 1 >/proc/sys/net/ipv6/conf/default/disable_ipv6' \
    || fail "cannot turn IPv6 off in $NS-$ns"
  ip -n "$NS-$ns" link set "$dev" address "$mac"
  ip -n "$NS-$ns" addr add "$addr/24" dev "$dev"
  ip -n "$NS-$ns" link set lo up
  ip -n "$NS-$ns" link set "$dev" up || fail "link $dev"
done
ip -n "$NS-host" route add default via "$PEER_IP" dev h0 || fail "default route"

ip netns exec "$NS-peer" tcpdump -U --immediate-mode -n -Z root -i p0 -w "$TMP/peer.pcap" arp \
  >/dev/null 2>"$TMP/tcpdump.err" &
PIDS+=($!)
wait_for 10 has "$TMP/tcpdump.err" "listening on" || fail "tcpdump did not start"

# The embedded default policy, no --iface: the agent must pick h0.
ip netns exec "$NS-host" "$BIN/velmora-agent" --home "$TMP/home" --run-for 60 >"$TMP/agent.out" 2>&1 &
AGENT=$!
PIDS+=($AGENT)
wait_for 15 has "$TMP/home/log/Velmora.log" "HWinPCapHelper::instance().start() ret 0" \
  || fail "the agent did not start capturing"
has "$TMP/home/log/Velmora.log" "live capture on h0" || fail "the agent did not choose the default route's interface"

hex_mac() { echo "${1//:/}"; }
hex_ip() { local a b c d; IFS=. read -r a b c d <<<"$1"; printf '%02x%02x%02x%02x' "$a" "$b" "$c" "$d"; }
zeros() { printf '%0*d' $(( $1 * 2 )) 0; }

# offer YIADDR [ROUTER]: a 300-byte DHCPOFFER from the peer to the host's MAC.
offer() {
  local f options
  f="$(hex_mac "$HOST_MAC")$(hex_mac "$PEER_MAC")0800"
  f+="4500011e0000000040110000$(hex_ip "$PEER_IP")$(hex_ip "$HOST_IP")"  # IPv4, 286 bytes, UDP
  f+="00430044010a0000"                                                   # UDP 67 -> 68
  f+="02010600$(zeros 8)$(zeros 4)$(hex_ip "$1")$(zeros 8)"               # op .. giaddr
  f+="$(hex_mac "$HOST_MAC")$(zeros 10)$(zeros 192)63825363"             # chaddr, sname, file, cookie
  options="350102"
  [ -n "${2:-}" ] && options+="0304$(hex_ip "$2")"
  options+="ff"
  f+="$options"
  f+="$(zeros $(( 300 - ${#f} / 2 )))"
  echo "$f"
}

inject() { ip netns exec "$NS-peer" "$BIN/frame_inject" p0 "$1" || fail "frame_inject"; }

# 1. An offer of no address: reported at once.
inject "$(offer 0.0.0.0)"
wait_for 10 has "$TMP/home/core/reports.jsonl" "AntiARP_RP_DHCP" || fail "no report of the empty offer"
grep -qF "\"mac\":\"$PEER_MAC\"" "$TMP/home/core/reports.jsonl" || fail "the report does not name the server"

# 2. An offer naming a gateway nobody has: the plug-in asks for it on the wire.
inject "$(offer "$HOST_IP" "$LOST_GW")"
probes() { tcpdump -r "$TMP/peer.pcap" -nn arp 2>/dev/null | grep -cF "Request who-has $LOST_GW tell $HOST_IP"; }
asked() { [ "$(probes)" -ge 1 ]; }
wait_for 10 asked || fail "the plug-in's ARP request for $LOST_GW never reached the wire"

# 3. SIGTERM: a clean stop with exit 0 and the summary.
kill -TERM "$AGENT"
status=124
for _ in $(seq 1 100); do
  if ! kill -0 "$AGENT" 2>/dev/null; then wait "$AGENT"; status=$?; break; fi
  sleep 0.1
done
[ "$status" = 0 ] || fail "the agent ended with $status after SIGTERM"
has "$TMP/home/log/Velmora.log" "stopped by SIGTERM" || fail "no stop line in the log"

# Only the two offers came in; the plug-in's own requests went out on the
# same interface and must not have been read back.
grep -qE "frames read: +2$" "$TMP/agent.out" || fail "frames read is not 2: $(grep 'frames read' "$TMP/agent.out")"
sent=$(sed -nE 's/.*frames sent by the plug-in: +([0-9]+).*/\1/p' "$TMP/agent.out")
[ "${sent:-0}" -ge 1 ] || fail "no sent frame counted"
echo "PASS: live capture on the default route's interface, incoming frames only, $sent frames sent, clean stop"
exit 0
