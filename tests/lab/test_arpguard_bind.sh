#!/usr/bin/env bash
# Static binding on the kernel's ARP table, inside a network namespace: a
# dynamic (spoofed) gateway entry is made PERMANENT with the configured MAC in
# place; an address without an entry gets one through "arp -s"; the guard's
# snapshot then counts both as static. Nothing leaves the namespaces.
set -u
LAB=agbind$$
NET=91
source "$(dirname "$0")/lab_common.sh"
# A failure shows the host's table as it was.
lab_fail_hook() { ip -n "$LAB-host" neigh show 2>/dev/null; }

lab_require
[ -x /usr/sbin/arp ] || command -v arp >/dev/null || lab_skip "net-tools arp missing"
lab_require_bin arpguard_lab

NEW_IP=10.77.$NET.2
NEW_MAC=$(lab_mac 02)
lab_start
lab_link "$GW_MAC" "$GW_IP"
guard() { ip netns exec "$LAB-host" "$BIN/arpguard_lab" "$LAB_TMP" "$@"; }
entry() { ip -n "$LAB-host" neigh show "$1" dev h0; }

# The gateway's entry as a spoofer left it: dynamic, with the wrong MAC.
ip -n "$LAB-host" neigh replace "$GW_IP" lladdr "$SPOOF_MAC" dev h0 nud reachable || lab_fail "dynamic entry"
entry "$GW_IP" | grep -qF "lladdr $SPOOF_MAC REACHABLE" || lab_fail "entry is not dynamic"

# Before any binding the guard learns the spoofed MAC and sees nothing static.
OUT=$(guard snapshot "$GW_IP" "$NEW_IP")
[ "$OUT" = "$GW_IP learned $SPOOF_MAC"$'\n'"$NEW_IP none" ] || lab_fail "first snapshot: $OUT"

# In place: the existing row on h0 becomes PERMANENT with the configured MAC.
OUT=$(guard bind "$GW_IP" "$GW_MAC") || lab_fail "gateway not bound: $OUT"
[ "$OUT" = "bound $GW_IP in place" ] || lab_fail "gateway bound, but not in place: $OUT"
entry "$GW_IP" | grep -qF "lladdr $GW_MAC PERMANENT" || lab_fail "gateway entry: $(entry "$GW_IP")"
[ "$(ip -n "$LAB-host" neigh show "$GW_IP" | wc -l)" = 1 ] || lab_fail "more than one entry for $GW_IP"

# No entry yet: the fallback command creates a static one.
ip -n "$LAB-host" neigh show "$NEW_IP" | grep -q . && lab_fail "$NEW_IP has an entry already"
OUT=$(guard bind "$NEW_IP" "$NEW_MAC") || lab_fail "$NEW_IP not bound: $OUT"
[ "$OUT" = "bound $NEW_IP by arp -s" ] || lab_fail "$NEW_IP bound, but not by arp -s: $OUT"
entry "$NEW_IP" | grep -qF "lladdr $NEW_MAC PERMANENT" || lab_fail "arp -s entry: $(entry "$NEW_IP")"

# The guard's read of the table now counts both as static.
OUT=$(guard snapshot "$GW_IP" "$NEW_IP")
[ "$OUT" = "$GW_IP static"$'\n'"$NEW_IP static" ] || lab_fail "second snapshot: $OUT"

echo "PASS: $GW_IP bound in place to $GW_MAC, $NEW_IP bound by arp -s, both static in the snapshot"
