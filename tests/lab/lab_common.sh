# Shared by the lab tests (sourced, not run on its own): network namespaces
# joined by veth pairs or a bridge, captures, bounded waits, the agent
# started and stopped, frames written in hex, and a cleanup that runs on
# exit whatever happened.
#
# The caller sets LAB (a prefix unique to the test: every namespace is
# "$LAB-<name>") and calls lab_require, then lab_start. The test folder is
# $LAB_TMP (the agent's home is $LAB_TMP/home); LAB_KEEP=1 keeps it for a
# look afterwards. Only addresses inside the test's own namespaces are used;
# nothing leaves them.

BIN=${1:-}
LAB_TMP=""
LAB_PIDS=()
LAB_NETNS=()
LAB_AGENT=""
# Prefix of the agent's command line (for instance env -u DISPLAY ...).
LAB_AGENT_WRAP=()
# The agent's executable, when not the build's (an installed one).
LAB_AGENT_EXE=""
# Files of the test folder shown when the test fails.
LAB_DUMP=(home/core/reports.jsonl home/log/Attack.log home/log/Velmora.log agent.out)

lab_skip() { echo "SKIP: $*"; exit 77; }
lab_fail() {
  echo "FAIL: $*"
  declare -F lab_fail_hook >/dev/null && lab_fail_hook
  if [ -n "$LAB_TMP" ]; then
    local f
    for f in "${LAB_DUMP[@]}"; do
      [ -f "$LAB_TMP/$f" ] && { echo "--- $f"; tail -n 30 "$LAB_TMP/$f"; }
    done
    for f in "$LAB_TMP"/*.pcap; do
      [ -f "$f" ] && { echo "--- frames in $(basename "$f")"; tcpdump -r "$f" -nn -e 2>/dev/null | tail -n 30; }
    done
  fi
  exit 1
}

# lab_require TOOL...: root, a bin folder, network namespaces, ip and the tools.
lab_require() {
  [ "$(id -u)" = 0 ] || lab_skip "needs root"
  [ -n "$BIN" ] || lab_skip "no bin folder given"
  local tool
  for tool in ip "$@"; do command -v "$tool" >/dev/null || lab_skip "$tool missing"; done
  ip netns add "$LAB-probe" 2>/dev/null || lab_skip "cannot create network namespaces"
  ip netns del "$LAB-probe"
}

# lab_require_bin NAME...: programs of the build's bin folder.
lab_require_bin() {
  local name
  for name in "$@"; do [ -x "$BIN/$name" ] || lab_skip "$BIN/$name not built"; done
}

lab_cleanup() {
  local pid ns
  for pid in "${LAB_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${LAB_PIDS[@]}"; do
    for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  for ns in "${LAB_NETNS[@]}"; do ip netns del "$ns" 2>/dev/null; done
  [ -n "$LAB_TMP" ] && [ -z "${LAB_KEEP:-}" ] && rm -rf "$LAB_TMP"
  return 0
}

# The test folder, and the cleanup on exit.
lab_start() {
  trap lab_cleanup EXIT
  LAB_TMP=$(mktemp -d "/tmp/$LAB.XXXXXX")
  mkdir -p "$LAB_TMP/home"
}

# lab_netns NAME...: namespaces $LAB-NAME (a leftover of an earlier run goes).
lab_netns() {
  local name
  for name in "$@"; do
    LAB_NETNS+=("$LAB-$name")
    ip netns del "$LAB-$name" 2>/dev/null
    ip netns add "$LAB-$name" || lab_fail "netns $LAB-$name"
  done
}

# lab_iface NS IFACE MAC [IP]: MAC, address (/24) and link up in $LAB-NS.
lab_iface() {
  ip -n "$LAB-$1" link set "$2" address "$3"
  [ -n "${4:-}" ] && ip -n "$LAB-$1" addr add "$4/24" dev "$2"
  ip -n "$LAB-$1" link set lo up
  ip -n "$LAB-$1" link set "$2" up || lab_fail "link $2 in $LAB-$1"
}

# lab_pair NS1 IFACE1 NS2 IFACE2: a veth pair between two namespaces.
lab_pair() {
  ip -n "$LAB-$1" link add "$2" type veth peer name "$4" netns "$LAB-$3" || lab_fail "veth $2-$4"
}

# A segment: bridge br0 in namespace $LAB-seg.
lab_bridge() {
  lab_netns seg
  ip -n "$LAB-seg" link add br0 type bridge || lab_fail "bridge"
  ip -n "$LAB-seg" link set br0 up
}

# lab_port NS IFACE MAC [IP]: a veth from the bridge (port pIFACE) into $LAB-NS.
lab_port() {
  ip -n "$LAB-seg" link add "p$2" type veth peer name "$2" netns "$LAB-$1" || lab_fail "veth $2"
  ip -n "$LAB-seg" link set "p$2" master br0 up
  lab_iface "$@"
}

# lab_wait SECONDS COMMAND...: polls every 0.1 s until COMMAND succeeds.
lab_wait() {
  local limit=$(( $1 * 10 )); shift
  local i
  for i in $(seq 1 "$limit"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

lab_file_has() { [ -f "$1" ] && grep -qF -- "$2" "$1"; }
# lab_count FILE TEXT: lines of FILE holding TEXT (0 without the file).
lab_count() {
  local n=0
  [ -f "$1" ] && n=$(grep -cF -- "$2" "$1")
  echo "$n"
}

# lab_capture NS IFACE FILE [FILTER...]: tcpdump into $LAB_TMP/FILE, started
# before this returns.
lab_capture() {
  local ns=$1 iface=$2 file=$3
  shift 3
  ip netns exec "$LAB-$ns" tcpdump -U --immediate-mode -n -Z root -i "$iface" -w "$LAB_TMP/$file" "$@" >/dev/null \
    2>"$LAB_TMP/tcpdump.err" &
  LAB_PIDS+=($!)
  lab_wait 10 lab_file_has "$LAB_TMP/tcpdump.err" "listening on" || lab_fail "tcpdump did not start"
}

# lab_start_agent NS ARG...: the agent in $LAB-NS with its home in the test
# folder and its output in agent.out, once it captures.
lab_start_agent() {
  local ns=$1
  shift
  ip netns exec "$LAB-$ns" "${LAB_AGENT_WRAP[@]}" "${LAB_AGENT_EXE:-$BIN/velmora-agent}" --home "$LAB_TMP/home" "$@" \
    >"$LAB_TMP/agent.out" 2>&1 &
  LAB_AGENT=$!
  LAB_PIDS+=("$LAB_AGENT")
  lab_wait 15 lab_file_has "$LAB_TMP/home/log/Velmora.log" "HWinPCapHelper::instance().start() ret 0" \
    || lab_fail "the agent did not start capturing"
  sleep 0.3  # the capture thread opens after start() returns
}

# lab_stop_agent SIGNAL: sends SIGNAL and sets LAB_AGENT_STATUS to the
# agent's exit status (124 when it is still running 10 s later).
lab_stop_agent() {
  LAB_AGENT_STATUS=124
  kill "-$1" "$LAB_AGENT"
  for _ in $(seq 1 100); do
    if ! kill -0 "$LAB_AGENT" 2>/dev/null; then wait "$LAB_AGENT"; LAB_AGENT_STATUS=$?; break; fi
    sleep 0.1
  done
}

# lab_policy MODE AUTOBIND BINDLIST DHCP: an agent config with one policy
# record (ARP protection MODE, DHCP protection on or off).
lab_policy() {
  cat <<JSON
{"policy": [{"strPolicyID": "$LAB", "iStateMask": 1, "iAntiARPSpoofing": $1, "strBindList": "$3",
             "iAntiDHCPSpoofing": $4, "iAutoBind": $2, "alarm_msg": "lab $LAB"}],
 "agent": {"name": "Velmora", "online": true, "state": 1, "auth_802": false, "core_accepts": true, "heartbeat_s": 30}}
JSON
}

# lab_mac NN: the test's locally administered MAC 02:77:<NET>:00:00:NN.
lab_mac() { printf '02:77:%02x:00:00:%s' "$NET" "$1"; }
# The segment's usual parties: the host (.10), the gateway (.1), a spoofer
# (.66) and a rogue MAC.
lab_addresses() {
  HOST_IP=10.77.$NET.10
  GW_IP=10.77.$NET.1
  SPOOF_IP=10.77.$NET.66
  HOST_MAC=$(lab_mac 0a)
  GW_MAC=$(lab_mac 01)
  SPOOF_MAC=$(lab_mac 66)
  ROGUE_MAC=$(lab_mac 99)
}

# A sender namespace wired straight to the host (as the spoofer), the host's
# default route through the gateway, whose MAC the host already knows.
lab_sender_segment() {
  lab_netns send host
  lab_pair send f0 host h0
  lab_iface send f0 "$SPOOF_MAC" "$SPOOF_IP"
  lab_iface host h0 "$HOST_MAC" "$HOST_IP"
  ip -n "$LAB-host" route add default via "$GW_IP" dev h0 || lab_fail "default route"
  ip -n "$LAB-host" neigh replace "$GW_IP" lladdr "$GW_MAC" dev h0 nud reachable || lab_fail "neighbour"
}

# Frames in hex, for frame_inject.
lab_hex_mac() { echo "${1//:/}"; }
lab_hex_ip() { local a b c d; IFS=. read -r a b c d <<<"$1"; printf '%02x%02x%02x%02x' "$a" "$b" "$c" "$d"; }
lab_zeros() { printf '%0*d' $(( $1 * 2 )) 0; }
# The IPv4 header checksum of 20 header bytes given as hex (a bridge on the
# way checks it and drops a frame with a wrong one).
lab_ip_checksum() {
  local hex=$1 sum=0 i
  for i in $(seq 0 4 36); do sum=$(( sum + 16#${hex:$i:4} )); done
  while [ $(( sum >> 16 )) != 0 ]; do sum=$(( (sum & 0xffff) + (sum >> 16) )); done
  printf '%04x' $(( ~sum & 0xffff ))
}
# lab_inject NS IFACE HEX: one frame sent from $LAB-NS, under an 802.1Q tag
# of VLAN $LAB_VLAN when that is set.
lab_inject() {
  ip netns exec "$LAB-$1" "$BIN/frame_inject" ${LAB_VLAN:+--vlan "$LAB_VLAN"} "$2" "$3" \
    || lab_fail "frame_inject in $LAB-$1"
}
