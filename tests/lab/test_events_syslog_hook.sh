#!/usr/bin/env bash
# Where an administrator finds the agent's events: every report and alarm
# in the system log (a listener on a private /dev/log: the agent runs in a
# mount namespace of its own whose /dev is a tmpfs with the few nodes it
# needs and /dev/log bound to the listener's socket), each alarm handed as
# JSON to agent.alarm_command, and the core's lines stamped with time, host
# and interface and valid against res/schema/; SIGUSR1 and the stop write
# HOME/state.json.
#
# Two namespaces joined by a veth pair: the host (10.77.97.10, default route
# via the peer) and the peer (10.77.97.1), which injects a DHCP offer of no
# address (a report and its alarm) and one that names a gateway nobody has
# (the DHCP alarm window's alarm). Nothing leaves the namespaces.
set -uo pipefail

LAB=events
NET=97
LAB_NO_IPV6=1
source "$(dirname "$0")/lab_common.sh"
SRC=$(cd "$(dirname "$0")/../.." && pwd)

lab_require unshare python3 timeout
python3 -c 'import jsonschema' 2>/dev/null || lab_skip "python3-jsonschema missing"
lab_require_bin velmora-agent frame_inject
lab_start
LAB_DUMP+=(syslog.txt home/core/alarms.jsonl)
LOST_GW=10.77.$NET.254
lab_sender_segment "$GW_MAC" "$GW_IP"

lab_bg host syslog.out python3 "$(dirname "$0")/syslog_listener.py" "$LAB_TMP/log.sock" "$LAB_TMP/syslog.txt" 120
lab_wait 10 test -S "$LAB_TMP/log.sock" || lab_fail "the syslog listener did not start"

cat >"$LAB_TMP/hook" <<HOOK
#!/bin/sh
cat >"$LAB_TMP/hook.\$\$.json"
HOOK
chmod 700 "$LAB_TMP/hook"
cat >"$LAB_TMP/agent.json" <<JSON
{"policy": [{"strPolicyID": "$LAB", "iStateMask": 1, "iAntiARPSpoofing": 0, "strBindList": "",
             "iAntiDHCPSpoofing": 1, "iAutoBind": 0, "alarm_msg": "lab $LAB"}],
 "agent": {"alarm_command": "$LAB_TMP/hook", "alarm_command_timeout_ms": 5000}}
JSON

# The private /dev: what the agent and its hook open there, and /dev/log.
mkdir "$LAB_TMP/olddev"
LAB_AGENT_WRAP=(unshare -m sh -c '
  t=$1; shift
  mount --make-rprivate / && mount --rbind /dev "$t/olddev" && mount -t tmpfs -o mode=755 tmpfs /dev || exit 1
  for n in null zero random urandom; do touch /dev/$n && mount --bind "$t/olddev/$n" /dev/$n || exit 1; done
  touch /dev/log && mount --bind "$t/log.sock" /dev/log || exit 1
  exec env -u DISPLAY "$@"' sh "$LAB_TMP")
lab_start_agent host --config "$LAB_TMP/agent.json" --run-for 60
[ -e /dev/log ] && [ ! -S /dev/log ] && lab_fail "the test's /dev/log leaked out of its mount namespace"

lab_inject send f0 "$(lab_offer_hex "$GW_MAC" "$GW_IP" 0.0.0.0)"
lab_inject send f0 "$(lab_offer_hex "$GW_MAC" "$GW_IP" "$HOST_IP" "$LOST_GW")"

# SIGUSR1 while the offer's gateway is still being asked for (three
# requests a second apart): state.json names the gateway and the probe.
kill -USR1 "$LAB_AGENT"
state_has_probe() { lab_file_has "$LAB_TMP/home/state.json" "\"gateway\": \"$LOST_GW\""; }
lab_wait 3 state_has_probe || lab_fail "state.json after SIGUSR1 lacks the pending probe of $LOST_GW: $(cat "$LAB_TMP/home/state.json" 2>&1)"
python3 - "$LAB_TMP/home/state.json" "$GW_IP" <<'PY' || lab_fail "state.json does not list the gateway $GW_IP or the counters"
import json, sys
state = json.load(open(sys.argv[1]))
assert [g["ip"] for g in state["gateways"]] == [sys.argv[2]], state["gateways"]
assert state["counters"]["frames_read"] >= 2 and state["iface"] == "h0", state
PY

# The system log: daemon.warning (<28>), the tag, the report id and its values.
lab_wait 10 lab_file_has "$LAB_TMP/syslog.txt" "report AntiARP_RP_DHCP policy=$LAB type=2 mac=$GW_MAC" \
  || lab_fail "no report line in the system log"
grep -E "^<28>.* velmora-agent\[[0-9]+\]: report AntiARP_RP_DHCP" "$LAB_TMP/syslog.txt" >/dev/null \
  || lab_fail "the report's line is not daemon.warning under the tag velmora-agent"
lab_wait 10 lab_file_has "$LAB_TMP/syslog.txt" ": alarm [lab $LAB] " || lab_fail "no alarm line in the system log"
# The gateway probe gives up after three unanswered requests a second apart.
lab_wait 15 lab_file_has "$LAB_TMP/syslog.txt" ": window [" || lab_fail "no window alarm line in the system log"

# The hook: one run per alarm, the alarm's JSON line on its standard input.
hooked() { cat "$LAB_TMP"/hook.*.json 2>/dev/null; }
both_hooked() { hooked | grep -q '"kind":"alarm"' && hooked | grep -q '"kind":"window"'; }
lab_wait 10 both_hooked || lab_fail "the alarm command did not get both alarms: $(hooked)"
[ "$(hooked | wc -l)" = 2 ] || lab_fail "the alarm command ran other than twice: $(hooked)"
hooked | python3 -c 'import json,sys; [json.loads(l) for l in sys.stdin]' || lab_fail "the hook's input is not JSON"

lab_stop_agent TERM
# The clean stop writes the state again: the probe has given up by now.
grep -q '"probes": \[\]' "$LAB_TMP/home/state.json" || lab_fail "state.json at the stop still lists probes"
[ ! -e "$LAB_TMP/home/state.json.tmp" ] || lab_fail "state.json.tmp left behind"

# The core's lines: schema, this host, the capture's interface.
python3 "$SRC/tests/tools/validate_core.py" "$SRC/res/schema" "$LAB_TMP/home" || lab_fail "the core's lines do not validate"
for file in reports alarms; do
  grep -v '"iface":"h0"' "$LAB_TMP/home/core/$file.jsonl" && lab_fail "a line of $file.jsonl does not name h0"
done
grep -q '"kind":"window"' "$LAB_TMP/home/core/alarms.jsonl" || lab_fail "the window's alarm is not in alarms.jsonl"
echo "PASS: reports and alarms in the system log, the alarm command ran with each alarm, stamped lines valid, state on SIGUSR1 and at the stop"
exit 0
