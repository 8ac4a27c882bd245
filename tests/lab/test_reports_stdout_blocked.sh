#!/usr/bin/env bash
# Standard output that nobody reads once stopped the capture thread for
# good (the alarm was printed under the core's lock) and SIGTERM no longer
# ended the agent. Now, with the agent's standard output a full pipe:
# alarms of a flood of rogue offers do not stop the capture, a spoofer's
# claim after them is still bound and reported, and SIGTERM ends the agent
# within a second.
RP=reports_stdout
NET=65
source "$(dirname "$0")/reports_common.sh"
lab_require mkfifo dd
rp_setup
mkfifo "$LAB_TMP/out.fifo"
# A reader that never reads keeps the pipe open; dd fills it to the brim.
sleep 600 <"$LAB_TMP/out.fifo" &
LAB_PIDS+=($!)
timeout 2 dd if=/dev/zero of="$LAB_TMP/out.fifo" bs=4096 count=1000 2>/dev/null
LAB_AGENT_FD=3 rp_start_agent 120 3>"$LAB_TMP/out.fifo"

rp_flood 2 2000
wait "$LAB_BG"
cat "$LAB_TMP/flood.out"
rp_spoof
lab_wait 5 lab_bound "$GW_IP" "$GW_MAC" || lab_fail "the gateway was not bound after the alarms"
lab_wait 5 lab_file_has "$REPORTS" "$BIND_REPORT" || lab_fail "no AntiARP_RP_ARP_BIND report after the alarms"
alarms=$(lab_count "$LAB_TMP/home/core/alarms.jsonl" "alarm_msg")
echo "$alarms alarms while standard output was full"
[ "$alarms" -ge 2 ] || lab_fail "the flood raised no alarms"

rp_stop_within 1100
grep -F "alarm lines not shown" "$LAB_TMP/home/log/Velmora.log" || lab_fail "no closing summary in the log"
echo "PASS: capture and reports went on with standard output full; SIGTERM ended the agent"
