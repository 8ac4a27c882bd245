#!/usr/bin/env bash
# The demos of examples/ replayed by the built agent; every line of their
# core/reports.jsonl and core/alarms.jsonl must validate against
# res/schema/, name this host and the demo's interface, and the demos
# together must give both kinds of alarm and a report with a block id.
set -euo pipefail
BIN=$1
SRC=$(cd "$(dirname "$0")/../.." && pwd)
EX=$SRC/examples
WORK=$(mktemp -d /tmp/tidewell-schema.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "$*"; exit 1; }

pids=()
for demo in "arp-demo arp-mode1" "arp-demo arp-mode2" "dhcp-demo dhcp-demo" "dhcp-servers-demo dhcp-servers-demo"; do
  set -- $demo
  # The probes need their seconds: the demos run at the capture's pace.
  "$BIN/velmora-agent" --replay "$EX/$1.pcap" --config "$EX/$2.json" --home "$WORK/$2" --linger 4 \
    >"$WORK/$2.out" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

python3 "$SRC/tests/tools/validate_core.py" "$SRC/res/schema" "$WORK"/*/
cat "$WORK"/*/core/alarms.jsonl >"$WORK/alarms"
cat "$WORK"/*/core/reports.jsonl >"$WORK/reports"
grep -q '"kind":"alarm"' "$WORK/alarms" || fail "no pop-up alarm in the demos"
grep -q '"kind":"window"' "$WORK/alarms" || fail "the DHCP alarm window's alarm is not in alarms.jsonl"
grep -q '"block":"' "$WORK/reports" || fail "no report block with an id"
# Every demo config's host has one adapter: its name is the lines' interface.
for config in arp-mode1 dhcp-demo; do
  iface=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["host"]["adapters"][0]["name"])' "$EX/$config.json")
  grep -vq "\"iface\":\"$iface\"" "$WORK/$config/core/reports.jsonl" && fail "$config: a line without \"iface\":\"$iface\""
done
echo "demos' core files valid"
