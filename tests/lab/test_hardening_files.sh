#!/usr/bin/env bash
# Policy text, commands, child processes and the home:
#  - a bind list whose "MAC" is shell text never reaches a command line: the
#    binding is refused as not a MAC, reported as failed, nothing runs;
#  - gateways with a configured MAC and no table row are bound through
#    "arp -s", and no child process is left behind as a zombie;
#  - a policy id full of quotes, line breaks and shell text reaches the
#    core's files as one valid JSON line per block;
#  - the agent refuses a home on a read-only file system, with a message;
#  - a full disk (a 1 MiB tmpfs) leaves only whole lines in the core's files
#    and the log, the failures are said, and the report block that could
#    not be written is delivered once space returns.
#
# One host namespace with three interfaces, each with a default route (so
# three gateways, 10.77.93.1, .94.1 and .95.1), and one sender namespace on
# the first. Nothing leaves the namespaces.
set -uo pipefail
LAB=hardening_files
NET=93
source "$(dirname "$0")/lab_common.sh"
lab_require timeout arp unshare mount python3
lab_require_bin velmora-agent frame_inject
lab_start

MARKER=$LAB_TMP/injected
INJECTION=";touch $MARKER;#"

lab_netns host send other
for i in 0 1 2; do
  net=$((93 + i))
  if [ "$i" = 0 ]; then lab_pair send f0 host h0; else lab_pair other "o$i" host "h$i"; fi
  lab_iface host "h$i" "02:77:$(printf %02x $net):00:00:0a" "10.77.$net.10"
  ip -n "$LAB-host" route add default via "10.77.$net.1" dev "h$i" metric $((100 * (i + 1))) || lab_fail "route h$i"
done
lab_iface send f0 "$SPOOF_MAC" "$SPOOF_IP"
lab_iface other o1 02:77:5e:00:00:66
lab_iface other o2 02:77:5f:00:00:66

# The bind list: shell text where the first gateway's MAC should be.
BIND_LIST="10.77.93.1-${INJECTION:0:17},10.77.94.1-02:77:5e:00:00:01,10.77.95.1-02:77:5f:00:00:01"
POLICY_ID='q"u\\ote'"'"' $(id) `id`; rm -rf x'
LAB_POLICY_ID='q\"u\\\\ote'"'"' $(id) `id`; rm -rf x\nnew line'
LAB_ALARM_MSG="lab \\\"$LAB\\\" \$(id)"
lab_host_agent "$(lab_policy 2 1 "$BIND_LIST" 0)"

# claim GATEWAY MAC: from the sender, a reply to the host that GATEWAY is at MAC.
claim() { lab_inject send f0 "$(lab_claim_hex "$2" "$1")"; }
for gw in 1 2 3; do
  ip=10.77.$((92 + gw)).1
  mac=02:77:$(printf %02x $((92 + gw))):00:00:01
  claim "$ip" "$mac"      # learned
  claim "$ip" "$SPOOF_MAC"  # changed: bound, or refused
done
two_binds() { [ "$(lab_count "$LAB_TMP/home/core/reports.jsonl" '"AntiARP_RP_ARP_BIND"')" -ge 2 ]; }
lab_wait 10 two_binds || lab_fail "the two gateways with a configured MAC were not bound"
lab_wait 5 lab_file_has "$LAB_TMP/home/core/reports.jsonl" '"AntiARP_RP_ARP_BIND_FAIL"' \
  || lab_fail "the shell text was not refused as a MAC"
lab_file_has "$LAB_TMP/home/log/Velmora.log" "Configured MAC of 10.77.93.1 is not a MAC" \
  || lab_fail "the refusal is not said in the log"
for gw in 94 95; do
  lab_wait 5 lab_bound "10.77.$gw.1" "02:77:$(printf %02x "$gw"):00:00:01" \
    || lab_fail "10.77.$gw.1 not bound by arp -s: $(ip -n "$LAB-host" neigh show "10.77.$gw.1")"
done
sleep 1
[ ! -e "$MARKER" ] || lab_fail "the bind list's text ran as a command"
children=$(ps -o pid=,stat=,args= --ppid "$LAB_AGENT")
[ -z "$children" ] || lab_fail "child processes of the agent still there (Z: a zombie): $children"

# Every block and alarm one line of valid JSON, the policy id intact.
lab_stop_agent TERM
# whole_lines FILE: every line of FILE one JSON object, the last one ended.
whole_lines() {
  local lines objects
  lines=$(wc -l <"$1")
  objects=$(grep -c '^{.*}$' "$1")
  [ "$lines" = "$objects" ] && [ -z "$(tail -c 1 "$1")" ] || lab_fail "$1: $lines lines, $objects whole objects"
}
for file in reports alarms; do whole_lines "$LAB_TMP/home/core/$file.jsonl"; done
python3 - "$LAB_TMP/home/core/reports.jsonl" "$POLICY_ID" <<'PY' || lab_fail "reports.jsonl does not parse or lost the policy id"
import json, sys
ids = {r["strPolicyID"] for line in open(sys.argv[1]) for r in json.loads(line)["records"]}
want = sys.argv[2] + "\nnew line"
sys.exit(0 if ids == {want} else 1)
PY

# A home on a read-only file system is refused before anything runs.
mkdir -p "$LAB_TMP/ro"
out=$(unshare -m sh -c "mount -t tmpfs -o ro,mode=0700 none '$LAB_TMP/ro' && '$BIN/velmora-agent' --home '$LAB_TMP/ro' --iface lo --run-for 1" 2>&1)
status=$?
[ "$status" = 2 ] || lab_fail "read-only home: exit $status ($out)"
echo "$out" | grep -qF "home $LAB_TMP/ro refused: $LAB_TMP/ro: Read-only file system" \
  || lab_fail "read-only home: unclear message: $out"

# A full disk. The core's files are filled to just short of a page: the
# start-up block (its line stamped with time, host and interface) still fits, then the disk is filled, so that the binding's
# block and alarm (the spoofer's claim 1 s into the replay at half speed)
# need a page that is not there. Space returns at 5 s; the heartbeat (1 s)
# offers the queued block again.
sed 's/"heartbeat_s": *[0-9]*/"heartbeat_s": 1/' "$(dirname "$0")/../../examples/arp-mode2.json" >"$LAB_TMP/full.json"
mkdir -p "$LAB_TMP/full" "$LAB_TMP/full-out"
iface=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["host"]["adapters"][0]["name"])' "$LAB_TMP/full.json")
# 4096 less the start-up line (66 bytes and the stamp) and a margin of 10.
stamp=$(printf ',"time":"%29s","host":"%s","iface":"%s"' "" "$(hostname)" "$iface")
PAD=$(( 4096 - 66 - ${#stamp} - 10 )) FULL=$LAB_TMP/full OUT=$LAB_TMP/full-out AGENT=$BIN/velmora-agent CONFIG=$LAB_TMP/full.json \
  PCAP=$(dirname "$0")/../../examples/arp-demo.pcap unshare -m bash -s <<'FULL_DISK'
pad_line() { printf '{"pad":"%s"}\n' "$(head -c $(($1 - 11)) /dev/zero | tr '\0' x)"; }
mount -t tmpfs -o size=1m,mode=0700 none "$FULL" || exit 1
mkdir -m 0700 "$FULL/home" "$FULL/home/core"
pad_line "$PAD" >"$FULL/home/core/reports.jsonl"
pad_line 4090 >"$FULL/home/core/alarms.jsonl"
"$AGENT" --config "$CONFIG" --home "$FULL/home" --replay "$PCAP" --speed 0.5 --linger 4 >"$OUT/out" 2>"$OUT/err" &
# Up to 5 s for the start-up block: a loaded machine starts the agent slowly.
for _ in $(seq 500); do [ "$(stat -c %s "$FULL/home/core/reports.jsonl")" -gt "$PAD" ] && break; sleep 0.01; done
dd if=/dev/zero of="$FULL/filler" bs=4k 2>/dev/null
sleep 4
rm "$FULL/filler"
wait $!
echo $? >"$OUT/status"
cp -a "$FULL/home" "$OUT/home"
FULL_DISK
[ "$(cat "$LAB_TMP/full-out/status")" = 0 ] || lab_fail "full disk: exit $(cat "$LAB_TMP/full-out/status"): $(cat "$LAB_TMP/full-out/err")"
grep -qF "write failures: " "$LAB_TMP/full-out/err" || lab_fail "full disk: the failures are not said on standard error"
grep -qF "reports.jsonl: No space left on device" "$LAB_TMP/full-out/home/log/Velmora.log" \
  || lab_fail "full disk: the core's failure is not in the log"
lab_file_has "$LAB_TMP/full-out/home/core/reports.jsonl" '"AntiARP_RP_ARP_BIND"' \
  || lab_fail "full disk: the binding's block did not arrive after space returned"
for file in reports alarms; do whole_lines "$LAB_TMP/full-out/home/core/$file.jsonl"; done
header='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]+ \[[0-9]+\] '
torn=$(grep -cvE "^$header" "$LAB_TMP/full-out/home/log/Velmora.log"; grep -cE "$header.*$header" "$LAB_TMP/full-out/home/log/Velmora.log")
[ "$torn" = "$(printf '0\n0')" ] || lab_fail "full disk: torn lines in Velmora.log"
echo "PASS: shell text in the bind list refused, two gateways bound by arp -s without zombies, policy id intact in JSON, read-only home refused, a full disk leaves whole lines and the block arrives after"
