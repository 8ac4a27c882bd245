#!/usr/bin/env bash
# packaging/velmora-agent.logrotate on a home of the demo: the core's files
# are rotated (FILE.1 plain), the agent writes a new file after it, and a
# report block written just before the rotation and offered again after a
# restart (a kill before the agent rewrote its queue) is written once only.
set -euo pipefail
BIN=$1
SRC=$(cd "$(dirname "$0")/../.." && pwd)
command -v logrotate >/dev/null || { echo "SKIP: logrotate missing"; exit 77; }
WORK=$(mktemp -d /tmp/tidewell-logrotate.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
HOME_DIR=$WORK/home
fail() { echo "FAIL: $*"; exit 1; }

# demo CORE_ACCEPTS: one replay of the DHCP demo (one report at once).
demo() {
  sed "s/\"core_accepts\": true/\"core_accepts\": $1/" "$SRC/examples/dhcp-demo.json" >"$WORK/agent.json"
  "$BIN/velmora-agent" --replay "$SRC/examples/dhcp-demo.pcap" --config "$WORK/agent.json" --home "$HOME_DIR" \
    --speed max --linger 0.3 >>"$WORK/agent.out" 2>&1 || fail "the agent failed: $(tail -5 "$WORK/agent.out")"
}
ids() { cat "$@" 2>/dev/null | grep -o '"block":"[0-9a-f]*"' || true; }

demo false                                   # the report waits in the queue
cp "$HOME_DIR/arc_file/his_arp_attack" "$WORK/queue"
demo true                                    # delivered, the queue rewritten
[ -n "$(ids "$HOME_DIR/core/reports.jsonl")" ] || fail "nothing delivered"
cp "$WORK/queue" "$HOME_DIR/arc_file/his_arp_attack"   # as if killed before the rewrite

sed "s#/var/lib/velmora#$HOME_DIR#" "$SRC/packaging/velmora-agent.logrotate" >"$WORK/logrotate.conf"
logrotate -f -s "$WORK/logrotate.state" "$WORK/logrotate.conf" || fail "logrotate failed"
[ -f "$HOME_DIR/core/reports.jsonl.1" ] && [ ! -e "$HOME_DIR/core/reports.jsonl" ] || fail "reports.jsonl not rotated"
[ -f "$HOME_DIR/core/alarms.jsonl.1" ] || fail "alarms.jsonl not rotated"

demo true                                    # offers the queued block again, then its own
[ -s "$HOME_DIR/core/reports.jsonl" ] || fail "no new reports.jsonl after the rotation"
all=$(ids "$HOME_DIR/core/reports.jsonl.1" "$HOME_DIR/core/reports.jsonl")
twice=$(echo "$all" | sort | uniq -d)
[ -z "$twice" ] || fail "blocks written twice across the rotation: $twice"
[ "$(echo "$all" | wc -l)" = 3 ] || fail "expected 3 blocks (the queued one, two new): $all"
echo "PASS: rotated, a new file after it, $(echo "$all" | wc -l) blocks each written once"
