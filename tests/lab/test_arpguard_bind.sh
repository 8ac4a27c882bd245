#!/usr/bin/env bash
# Static binding on the kernel's ARP table, inside a network namespace: a
# dynamic (spoofed) gateway entry is made PERMANENT with the configured MAC in
# place; an address without an entry gets one through "arp -s"; the guard's
# snapshot then counts both as static. Nothing leaves the namespaces.
set -u
BIN=${1:?usage: test_arpguard_bind.sh BIN_DIR}
TAG=agbind$$
NS_HOST=$TAG-host
NS_PEER=$TAG-peer
SCRATCH=

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; ip -n "$NS_HOST" neigh show 2>/dev/null; exit 1; }

[ "$(id -u)" = 0 ] || skip "needs root"
command -v ip >/dev/null || skip "iproute2 missing"
[ -x /usr/sbin/arp ] || command -v arp >/dev/null || skip "net-tools arp missing"
[ -x "$BIN/arpguard_lab" ] || skip "arpguard_lab not built"

cleanup() {
  ip netns del "$NS_HOST" 2>/dev/null
  ip netns del "$NS_PEER" 2>/dev/null
  [ -n "$SCRATCH" ] && rm -rf "$SCRATCH"
}
trap cleanup EXIT

GW_IP=10.77.91.1
GW_MAC=02:77:5b:00:00:01
SPOOF_MAC=02:77:5b:00:00:ee
NEW_IP=10.77.91.2
NEW_MAC=02:77:5b:00:00:02
HOST_IP=10.77.91.10

ip netns add "$NS_HOST" || skip "cannot create network namespaces"
ip netns add "$NS_PEER" || fail "second namespace"
ip -n "$NS_HOST" link add h0 type veth peer name p0 netns "$NS_PEER" || fail "veth pair"
ip -n "$NS_HOST" link set h0 address 02:77:5b:00:00:10
ip -n "$NS_PEER" link set p0 address "$GW_MAC"
ip -n "$NS_HOST" addr add "$HOST_IP/24" dev h0
ip -n "$NS_PEER" addr add "$GW_IP/24" dev p0
ip -n "$NS_HOST" link set lo up
ip -n "$NS_HOST" link set h0 up
ip -n "$NS_PEER" link set p0 up
SCRATCH=$(mktemp -d /tmp/arpguard-lab-XXXXXX)

# The gateway's entry as a spoofer left it: dynamic, with the wrong MAC.
ip -n "$NS_HOST" neigh replace "$GW_IP" lladdr "$SPOOF_MAC" dev h0 nud reachable || fail "dynamic entry"
ip -n "$NS_HOST" neigh show "$GW_IP" dev h0 | grep -qF "lladdr $SPOOF_MAC REACHABLE" || fail "entry is not dynamic"

# Before any binding the guard learns the spoofed MAC and sees nothing static.
OUT=$(ip netns exec "$NS_HOST" "$BIN/arpguard_lab" "$SCRATCH" snapshot "$GW_IP" "$NEW_IP")
echo "$OUT" | grep -qx "$GW_IP learned $SPOOF_MAC" || fail "first snapshot: $OUT"
echo "$OUT" | grep -qx "$NEW_IP none" || fail "first snapshot: $OUT"

# In place: the existing row on h0 becomes PERMANENT with the configured MAC.
OUT=$(ip netns exec "$NS_HOST" "$BIN/arpguard_lab" "$SCRATCH" bind "$GW_IP" "$GW_MAC") || fail "gateway not bound: $OUT"
[ "$OUT" = "bound $GW_IP in place" ] || fail "gateway bound, but not in place: $OUT"
ip -n "$NS_HOST" neigh show "$GW_IP" dev h0 | grep -qF "lladdr $GW_MAC PERMANENT" ||
  fail "gateway entry: $(ip -n "$NS_HOST" neigh show "$GW_IP")"
[ "$(ip -n "$NS_HOST" neigh show "$GW_IP" | wc -l)" = 1 ] || fail "more than one entry for $GW_IP"

# No entry yet: the fallback command creates a static one.
ip -n "$NS_HOST" neigh show "$NEW_IP" | grep -q . && fail "$NEW_IP has an entry already"
OUT=$(ip netns exec "$NS_HOST" "$BIN/arpguard_lab" "$SCRATCH" bind "$NEW_IP" "$NEW_MAC") || fail "$NEW_IP not bound: $OUT"
[ "$OUT" = "bound $NEW_IP by arp -s" ] || fail "$NEW_IP bound, but not by arp -s: $OUT"
ip -n "$NS_HOST" neigh show "$NEW_IP" dev h0 | grep -qF "lladdr $NEW_MAC PERMANENT" ||
  fail "arp -s entry: $(ip -n "$NS_HOST" neigh show "$NEW_IP")"

# The guard's read of the table now counts both as static.
OUT=$(ip netns exec "$NS_HOST" "$BIN/arpguard_lab" "$SCRATCH" snapshot "$GW_IP" "$NEW_IP")
echo "$OUT" | grep -qx "$GW_IP static" || fail "second snapshot: $OUT"
echo "$OUT" | grep -qx "$NEW_IP static" || fail "second snapshot: $OUT"

echo "PASS: $GW_IP bound in place to $GW_MAC, $NEW_IP bound by arp -s, both static in the snapshot"
