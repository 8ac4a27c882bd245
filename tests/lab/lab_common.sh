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

# The test folder, the cleanup on exit and, when NET is set, the segment's
# addresses (lab_addresses).
lab_start() {
  trap lab_cleanup EXIT
  LAB_TMP=$(mktemp -d "/tmp/$LAB.XXXXXX")
  mkdir -p "$LAB_TMP/home"
  [ -z "${NET:-}" ] || lab_addresses
}

# lab_netns NAME...: namespaces $LAB-NAME (a leftover of an earlier run goes).
lab_netns() {
  local name
  for name in "$@"; do
    LAB_NETNS+=("$LAB-$name")
    ip netns del "$LAB-$name" 2>/dev/null
    ip netns add "$LAB-$name" || lab_fail "netns $LAB-$name"
    # LAB_NO_IPV6=1: the links of the namespace carry only the test's frames.
    [ -n "${LAB_NO_IPV6:-}" ] && ip netns exec "$LAB-$name" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
      net.ipv6.conf.default.disable_ipv6=1
  done
  return 0
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
lab_now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# lab_count FILE TEXT: lines of FILE holding TEXT (0 without the file).
lab_count() { cat "$1" 2>/dev/null | grep -cF -- "$2"; }

# lab_bg NS OUT COMMAND...: COMMAND in $LAB-NS in the background, its output
# in $LAB_TMP/OUT; LAB_BG is its pid (the cleanup stops it).
lab_bg() {
  ip netns exec "$LAB-$1" "${@:3}" >"$LAB_TMP/$2" 2>&1 &
  LAB_BG=$!
  LAB_PIDS+=("$LAB_BG")
}

# lab_capture NS IFACE FILE [FILTER...]: tcpdump into $LAB_TMP/FILE, started
# before this returns.
lab_capture() {
  lab_bg "$1" tcpdump.err tcpdump -U --immediate-mode -n -Z root -i "$2" -w "$LAB_TMP/$3" "${@:4}"
  lab_wait 10 lab_file_has "$LAB_TMP/tcpdump.err" "listening on" || lab_fail "tcpdump did not start"
}

# lab_start_agent NS ARG...: the agent in $LAB-NS with its home in the test
# folder and its output in agent.out (standard output to the descriptor
# LAB_AGENT_FD when that is set), once it captures.
lab_start_agent() {
  ip netns exec "$LAB-$1" "${LAB_AGENT_WRAP[@]}" "${LAB_AGENT_EXE:-$BIN/velmora-agent}" --home "$LAB_TMP/home" "${@:2}" \
    2>"$LAB_TMP/agent.out" 1>&"${LAB_AGENT_FD:-2}" &
  LAB_AGENT=$!
  LAB_PIDS+=("$LAB_AGENT")
  lab_wait 15 lab_file_has "$LAB_TMP/home/log/Velmora.log" "HWinPCapHelper::instance().start() ret 0" \
    || lab_fail "the agent did not start capturing"
  sleep 0.3  # the capture thread opens after start() returns
}

# lab_host_agent CONFIG_JSON [SECONDS]: the config in config.json and the
# agent with it in $LAB-host, live on h0, for SECONDS (120) at most.
lab_host_agent() {
  printf '%s\n' "$1" >"$LAB_TMP/config.json"
  lab_start_agent host --config "$LAB_TMP/config.json" --iface h0 --run-for "${2:-120}"
}

# lab_stop_agent SIGNAL: sends SIGNAL and fails unless the agent exits 0
# within 10 s; LAB_STOP_MS is how long it took, LAB_AGENT_STATUS the status
# (124: still running).
lab_stop_agent() {
  local start
  start=$(lab_now_ms)
  LAB_AGENT_STATUS=124
  kill "-$1" "$LAB_AGENT"
  for _ in $(seq 1 1000); do
    kill -0 "$LAB_AGENT" 2>/dev/null || break
    sleep 0.01
  done
  LAB_STOP_MS=$(( $(lab_now_ms) - start ))
  kill -0 "$LAB_AGENT" 2>/dev/null || { wait "$LAB_AGENT"; LAB_AGENT_STATUS=$?; }
  echo "SIG$1 stopped the agent in $LAB_STOP_MS ms (status $LAB_AGENT_STATUS)"
  [ "$LAB_AGENT_STATUS" = 0 ] || lab_fail "exit status $LAB_AGENT_STATUS after SIG$1"
}

# lab_policy MODE AUTOBIND BINDLIST DHCP [GUARD]: an agent config with one
# policy record (ARP protection MODE, DHCP protection on or off) and, when
# given, GUARD (JSON) as its guard section. LAB_POLICY_ID and LAB_ALARM_MSG,
# when set, are the record's id and alarm text (as JSON string contents).
lab_policy() {
  local guard=${5:+ \"guard\": $5,}
  cat <<JSON
{"policy": [{"strPolicyID": "${LAB_POLICY_ID:-$LAB}", "iStateMask": 1, "iAntiARPSpoofing": $1, "strBindList": "$3",
             "iAntiDHCPSpoofing": $4, "iAutoBind": $2, "alarm_msg": "${LAB_ALARM_MSG:-lab $LAB}"}],$guard
 "agent": {"name": "Velmora", "online": true, "state": 1, "auth_802": false, "core_accepts": true, "heartbeat_s": 30}}
JSON
}

# lab_mac NN: the test's locally administered MAC 02:77:<NET>:00:00:NN.
lab_mac() { printf '02:77:%02x:00:00:%s' "$NET" "$1"; }
# The segment's usual parties: the host (.10), the gateway (.1), a spoofer
# (.66) and a rogue MAC; the binding report of the spoofer's claim.
lab_addresses() {
  HOST_IP=10.77.$NET.10
  GW_IP=10.77.$NET.1
  SPOOF_IP=10.77.$NET.66
  HOST_MAC=$(lab_mac 0a)
  GW_MAC=$(lab_mac 01)
  SPOOF_MAC=$(lab_mac 66)
  ROGUE_MAC=$(lab_mac 99)
  BIND_REPORT="\"str_desc\":\"AntiARP_RP_ARP_BIND\",\"mapDesc\":{\"ipb\":\"$GW_IP\",\"mac\":\"$SPOOF_MAC\",\"macb\":\"$GW_MAC\"}"
}

# lab_link MAC [IP]: a sender namespace ($LAB-send, f0 with MAC and IP)
# wired straight to the host ($LAB-host, h0), the host's default route
# through the gateway.
lab_link() {
  lab_netns send host
  lab_pair send f0 host h0
  lab_iface send f0 "$1" "${2:-}"
  lab_iface host h0 "$HOST_MAC" "$HOST_IP"
  ip -n "$LAB-host" route add default via "$GW_IP" dev h0 || lab_fail "default route"
}

# lab_sender_segment MAC IP: lab_link, and the host already knows the
# gateway's MAC.
lab_sender_segment() {
  lab_link "$@"
  ip -n "$LAB-host" neigh replace "$GW_IP" lladdr "$GW_MAC" dev h0 nud reachable || lab_fail "neighbour"
}

# lab_bound IP MAC: the host's entry for IP is static with MAC.
lab_bound() { ip -n "$LAB-host" neigh show "$1" | grep -qF "lladdr $2 PERMANENT"; }

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

# lab_arp_hex OP ETH_DST SENDER_MAC SENDER_IP TARGET_MAC TARGET_IP: a 60-byte
# ARP frame (OP 1 request, 2 reply), zero padded.
lab_arp_hex() {
  echo "$(lab_hex_mac "$2")$(lab_hex_mac "$3")0806000108000604$(printf %04x "$1")$(lab_hex_mac "$3")$(lab_hex_ip "$4")$(lab_hex_mac "$5")$(lab_hex_ip "$6")$(lab_zeros 18)"
}
# lab_claim_hex MAC [IP]: a reply to the host saying IP (the gateway's) is at MAC.
lab_claim_hex() { lab_arp_hex 2 "$HOST_MAC" "$1" "${2:-$GW_IP}" "$HOST_MAC" "$HOST_IP"; }

# lab_offer_hex SERVER_MAC SERVER_IP YIADDR [ROUTER]: a DHCPOFFER of YIADDR
# (0.0.0.0: no address) from the server to the host's MAC and address, the
# message padded to 300 bytes.
lab_offer_hex() {
  local src dst bootp udp ip
  src=$(lab_hex_ip "$2")
  dst=$(lab_hex_ip "$HOST_IP")
  bootp="020106000000beef$(lab_zeros 8)$(lab_hex_ip "$3")$(lab_zeros 8)$(lab_hex_mac "$HOST_MAC")$(lab_zeros 202)"
  bootp+="63825363350102${4:+0304$(lab_hex_ip "$4")}ff"
  bootp+=$(lab_zeros $(( 300 - ${#bootp} / 2 )))
  udp="00430044$(printf %04x $(( 8 + ${#bootp} / 2 )))0000$bootp"
  ip="4500$(printf %04x $(( 20 + ${#udp} / 2 )))000000004011"
  echo "$(lab_hex_mac "$HOST_MAC")$(lab_hex_mac "$1")0800$ip$(lab_ip_checksum "${ip}0000$src$dst")$src$dst$udp"
}

# lab_inject NS IFACE HEX [COUNT INTERVAL_MS]: a frame sent from $LAB-NS,
# under an 802.1Q tag of VLAN $LAB_VLAN when that is set.
lab_inject() {
  ip netns exec "$LAB-$1" "$BIN/frame_inject" ${LAB_VLAN:+--vlan "$LAB_VLAN"} "$2" "$3" ${4:+"$4" "$5"} \
    || lab_fail "frame_inject in $LAB-$1"
}

# lab_dnsmasq NS NAME ARG...: dnsmasq (no DNS, no file of the machine) in
# $LAB-NS, its output in NAME.out, once it serves.
lab_dnsmasq() {
  lab_bg "$1" "$2.out" dnsmasq --no-daemon --conf-file=/dev/null --no-resolv --no-hosts --port=0 --user=root \
    --bind-interfaces --no-ping --log-dhcp --dhcp-leasefile="$LAB_TMP/$2.leases" --pid-file="$LAB_TMP/$2.pid" "${@:3}"
  lab_wait 10 lab_file_has "$LAB_TMP/$2.out" ", IP range" || lab_fail "dnsmasq $2 did not start"
}

# lab_dhclient NAME ARG...: dhclient in $LAB-host asking once on h0, its
# output in NAME.out; its script does nothing, so no file of the machine
# (resolv.conf) is touched.
lab_dhclient() {
  lab_bg host "$1.out" dhclient -d -1 -v -sf /bin/true -lf "$LAB_TMP/dhclient.leases" -pf "$LAB_TMP/$1.pid" "${@:2}" h0
}

# lab_xvfb: a private X server on a display nobody uses (Xvfb refuses a
# taken one, so a few are tried); DISPLAY names it.
lab_xvfb() {
  local n pid
  for n in $(seq 71 99); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >"$LAB_TMP/xvfb.out" 2>&1 &
    pid=$!
    if lab_wait 5 lab_xvfb_up "$n" "$pid"; then LAB_PIDS+=("$pid"); export DISPLAY=":$n"; return 0; fi
    kill "$pid" 2>/dev/null
  done
  lab_fail "no X server could be started"
}
lab_xvfb_up() { [ -e "/tmp/.X11-unix/X$1" ] && kill -0 "$2" 2>/dev/null; }

# The DHCP alarm window, told on the agent's output and (when xwininfo is
# there) on the display.
lab_alarm_window_open() {
  lab_file_has "$LAB_TMP/agent.out" "WINDOW [Velmora - DHCP alarm]" || return 1
  command -v xwininfo >/dev/null || return 0
  xwininfo -root -tree 2>/dev/null | grep -qF '"Velmora - DHCP alarm"'
}

# lab_options "OPTION=VARIABLE..." ARG...: each "--OPTION VALUE" of ARG sets
# VARIABLE; anything else ends the script (exit 2).
lab_options() {
  local map=" $1 " variable
  shift
  while [ $# -gt 0 ]; do
    variable=${map#* ${1#--}=}
    if [[ $1 != --* || $variable == "$map" || $# -lt 2 ]]; then echo "$(basename "$0"): unknown option $1"; exit 2; fi
    printf -v "${variable%% *}" '%s' "$2"
    shift 2
  done
}
