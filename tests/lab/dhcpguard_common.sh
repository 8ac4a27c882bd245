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
# calls dg_require and dg_setup; dg_cleanup runs on exit (DG_KEEP=1 keeps
# the test folder for a look afterwards).

BIN=${1:-}
DG_PIDS=()
DG_TMP=""

dg_skip() { echo "SKIP: $*"; exit 77; }
dg_fail() {
  echo "FAIL: $*"
  if [ -n "$DG_TMP" ]; then
    local f
    for f in "$DG_TMP"/home/core/reports.jsonl "$DG_TMP"/home/log/Attack.log "$DG_TMP"/home/log/Velmora.log \
             "$DG_TMP"/agent.out "$DG_TMP"/dnsmasq.out "$DG_TMP"/dhclient.out; do
      [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }
    done
    [ -f "$DG_TMP/seg.pcap" ] && { echo "--- frames on the segment"; tcpdump -r "$DG_TMP/seg.pcap" -nn -e 2>/dev/null | tail -n 30; }
  fi
  exit 1
}

# dg_require TOOL...: root, network namespaces, the built agent and the tools.
dg_require() {
  [ "$(id -u)" = 0 ] || dg_skip "needs root"
  [ -n "$BIN" ] || dg_skip "no bin folder given"
  local tool
  for tool in ip tcpdump timeout "$@"; do command -v "$tool" >/dev/null || dg_skip "$tool missing"; done
  [ -x "$BIN/velmora-agent" ] || dg_skip "$BIN/velmora-agent not built"
  ip netns add "$DG-probe" 2>/dev/null || dg_skip "cannot create network namespaces"
  ip netns del "$DG-probe"
}

dg_cleanup() {
  local pid ns
  for pid in "${DG_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${DG_PIDS[@]}"; do
    for _ in $(seq 1 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  for ns in host srv gw seg probe; do ip netns del "$DG-$ns" 2>/dev/null; done
  [ -n "$DG_TMP" ] && [ -z "${DG_KEEP:-}" ] && rm -rf "$DG_TMP"
  return 0
}

dg_setup() {
  GW_IP=10.77.$NET.1
  SRV_IP=10.77.$NET.2
  LEASE_IP=10.77.$NET.50
  HOST_MAC=02:77:$(printf %02x "$NET"):00:00:0a
  SRV_MAC=02:77:$(printf %02x "$NET"):00:00:02
  GW_MAC=02:77:$(printf %02x "$NET"):00:00:01
  DG_TMP=$(mktemp -d "/tmp/$DG.XXXXXX")
  mkdir -p "$DG_TMP/home"
  trap dg_cleanup EXIT

  local ns
  for ns in seg host srv; do ip netns add "$DG-$ns" || dg_fail "netns $DG-$ns"; done
  ip -n "$DG-seg" link add br0 type bridge || dg_fail "bridge"
  ip -n "$DG-seg" link set br0 up
  dg_port host h0 "$HOST_MAC" ""
  dg_port srv s0 "$SRV_MAC" "$SRV_IP"
}

dg_add_gateway() {
  ip netns add "$DG-gw" || dg_fail "netns $DG-gw"
  dg_port gw g0 "$GW_MAC" "$GW_IP"
}

# dg_port NS IFACE MAC IP: a veth from the bridge into namespace $DG-NS.
dg_port() {
  ip -n "$DG-seg" link add "p$2" type veth peer name "$2" netns "$DG-$1" || dg_fail "veth $2"
  ip -n "$DG-seg" link set "p$2" master br0 up
  ip -n "$DG-$1" link set "$2" address "$3"
  [ -n "$4" ] && ip -n "$DG-$1" addr add "$4/24" dev "$2"
  ip -n "$DG-$1" link set lo up
  ip -n "$DG-$1" link set "$2" up
}

# dg_wait SECONDS COMMAND...: polls every 0.1 s until COMMAND succeeds.
dg_wait() {
  local limit=$(( $1 * 10 )); shift
  local i
  for i in $(seq 1 "$limit"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

dg_file_has() { [ -f "$1" ] && grep -qF -- "$2" "$1"; }
dg_count() {
  local n=0
  [ -f "$1" ] && n=$(grep -cF -- "$2" "$1")
  echo "$n"
}

# Captures the whole segment, from the server's side.
dg_capture() {
  ip netns exec "$DG-srv" tcpdump -U --immediate-mode -n -Z root -i s0 -w "$DG_TMP/seg.pcap" >/dev/null \
    2>"$DG_TMP/tcpdump.err" &
  DG_PIDS+=($!)
  dg_wait 10 dg_file_has "$DG_TMP/tcpdump.err" "listening on" || dg_fail "tcpdump did not start"
}

# A config with one policy: DHCP protection on, ARP protection off.
dg_policy() {
  cat <<JSON
{"policy": [{"strPolicyID": "$DG", "iStateMask": 1, "iAntiARPSpoofing": 0, "strBindList": "",
             "iAntiDHCPSpoofing": 1, "iAutoBind": 0, "alarm_msg": "lab $DG"}],
 "agent": {"name": "Velmora", "online": true, "state": 1, "auth_802": false, "core_accepts": true, "heartbeat_s": 30}}
JSON
}

# The agent in the host namespace, live on h0, without a desktop: the alarm
# window is then told on its output.
dg_start_agent() {
  dg_policy >"$DG_TMP/config.json"
  ip netns exec "$DG-host" env -u DISPLAY -u WAYLAND_DISPLAY "$BIN/velmora-agent" --config "$DG_TMP/config.json" \
    --home "$DG_TMP/home" --iface h0 --run-for 120 >"$DG_TMP/agent.out" 2>&1 &
  DG_PIDS+=($!)
  dg_wait 15 dg_file_has "$DG_TMP/home/log/Velmora.log" "HWinPCapHelper::instance().start() ret 0" \
    || dg_fail "the agent did not start capturing"
  dg_file_has "$DG_TMP/home/log/Velmora.log" "DHCP only: ARP answers go to the DHCP probe" \
    || dg_fail "the agent did not hand ARP answers to the DHCP probe"
  sleep 0.3  # the capture thread opens after start() returns
}

# dnsmasq as the DHCP server, naming $GW_IP as the router: no DNS, no
# config or hosts files of the machine, its lease file in the test folder.
dg_start_dnsmasq() {
  ip netns exec "$DG-srv" dnsmasq --no-daemon --conf-file=/dev/null --no-resolv --no-hosts --port=0 \
    --user=root --interface=s0 --bind-interfaces --no-ping --log-dhcp \
    --dhcp-range="$LEASE_IP,$LEASE_IP,255.255.255.0,1h" --dhcp-option="3,$GW_IP" \
    --dhcp-leasefile="$DG_TMP/dnsmasq.leases" --pid-file="$DG_TMP/dnsmasq.pid" >"$DG_TMP/dnsmasq.out" 2>&1 &
  DG_PIDS+=($!)
  dg_wait 10 dg_file_has "$DG_TMP/dnsmasq.out" "DHCP, IP range" || dg_fail "dnsmasq did not start"
}

# dhclient asks once for a lease on h0. Its config leaves the broadcast flag
# clear, so the offer comes unicast to the host's MAC; its script does
# nothing, so no file of the machine (resolv.conf) is touched.
dg_start_dhclient() {
  cat >"$DG_TMP/dhclient.conf" <<CONF
request subnet-mask, routers;
timeout 20;
CONF
  ip netns exec "$DG-host" dhclient -d -1 -v -cf "$DG_TMP/dhclient.conf" -sf /bin/true \
    -lf "$DG_TMP/dhclient.leases" -pf "$DG_TMP/dhclient.pid" h0 >"$DG_TMP/dhclient.out" 2>&1 &
  DG_PIDS+=($!)
}

dg_attack_log() { echo "$DG_TMP/home/log/Attack.log"; }

# The gateway probe's requests on the wire (broadcast from the host, asking
# for the gateway with the offered address as sender), one line each: the
# frame's length and its padding (bytes 42 to 59) in hex.
dg_probe_frames() {
  tcpdump -r "$DG_TMP/seg.pcap" -nn -e -xx arp 2>/dev/null |
    awk -v mac="$HOST_MAC" -v want="Request who-has $GW_IP tell $LEASE_IP" '
      function flush() { if (keep) printf "%d %s\n", length(hex) / 2, substr(hex, 85, 36); keep = 0; hex = "" }
      /^[0-9]/ { flush(); keep = index($0, mac " > ff:ff:ff:ff:ff:ff") && index($0, want); next }
      keep { for (i = 2; i <= NF; i++) hex = hex $i }
      END { flush() }'
}
dg_probe_count() { dg_probe_frames | wc -l; }
dg_probes_at_least() { [ "$(dg_probe_count)" -ge "$1" ]; }

# Of what the attack log holds, only the alarm text names the server's MAC
# in this form (offers are logged as bytes).
dg_alarm_count() { dg_count "$(dg_attack_log)" "$SRV_MAC"; }
dg_alarm_shown() { [ "$(dg_alarm_count)" -ge 1 ]; }
