#!/usr/bin/env bash
# The agent as its unit runs it: installed (cmake --install into a scratch
# root), started as an unprivileged user with only CAP_NET_RAW and
# CAP_NET_ADMIN, its home that user's. A spoofer claims the gateway; the
# agent captures the claim, binds the gateway statically and reports it.
AW=deploy_user
NET=116
source "$(dirname "$0")/arpwatch_common.sh"
lab_require setpriv cmake
AGENT_ID=64977  # no user of the machine: setpriv needs no passwd entry
CAPS=-all,+net_raw,+net_admin
aw_setup

DESTDIR="$LAB_TMP/root" cmake --install "$BIN/.." >"$LAB_TMP/install.log" 2>&1 || lab_fail "cmake --install: $(tail -n 5 "$LAB_TMP/install.log")"
LAB_AGENT_EXE=$LAB_TMP/root/usr/sbin/velmora-agent
chmod 0755 "$LAB_TMP"
chown "$AGENT_ID:$AGENT_ID" "$LAB_TMP/home"
LAB_AGENT_WRAP=(env -u LD_LIBRARY_PATH setpriv "--reuid=$AGENT_ID" "--regid=$AGENT_ID" --clear-groups
                "--inh-caps=$CAPS" "--ambient-caps=$CAPS" "--bounding-set=$CAPS" --)
lab_host_agent "$(aw_policy 2 1 "$GW_IP-$GW_MAC")"

status=$(cat "/proc/$LAB_AGENT/status")
grep -qP "^Uid:\t$AGENT_ID\t$AGENT_ID\t" <<<"$status" || lab_fail "the agent does not run as $AGENT_ID: $(grep Uid <<<"$status")"
# CAP_NET_ADMIN is bit 12, CAP_NET_RAW bit 13: nothing else, not even to regain.
for set in CapEff CapPrm CapBnd; do
  grep -qP "^$set:\t0000000000003000$" <<<"$status" || lab_fail "$(grep "^$set" <<<"$status"): not just the two capabilities"
done

aw_claim spoof s0 "$SPOOF_MAC"
lab_wait 15 lab_file_has "$LAB_TMP/home/core/reports.jsonl" "$BIND_REPORT" || lab_fail "no AntiARP_RP_ARP_BIND report"
lab_wait 5 lab_bound "$GW_IP" "$GW_MAC" || lab_fail "the gateway's entry is not PERMANENT with $GW_MAC: $(aw_gateway_entry)"
grep -q "lacks CAP_NET_ADMIN" "$LAB_TMP/agent.out" && lab_fail "the agent says it lacks CAP_NET_ADMIN"
[ "$(stat -c %u "$LAB_TMP/home/core/reports.jsonl")" = "$AGENT_ID" ] || lab_fail "the reports do not belong to the agent's user"
lab_stop_agent TERM
echo "PASS: installed agent as uid $AGENT_ID with CAP_NET_RAW and CAP_NET_ADMIN only: spoof captured, gateway bound, reported"
