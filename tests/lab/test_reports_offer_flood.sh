#!/usr/bin/env bash
# A flood of unicast offers that assign no address, each from a new server
# MAC, once made a report, an alarm line and a disk sync per frame on the
# capture thread: the kernel dropped nearly every frame and a spoofer in the
# middle went unseen. Now, with the flood at up to 100,000 offers a second:
# the spoofer's claim sent halfway is bound within a second and reported,
# the capture drops under 1 % of the frames, core/ grows by less than 1 MB
# and the held-back reports are counted in the log.
#   test_reports_offer_flood.sh BIN [--seconds N]   (N: 4 by default, 10 for the full run)
RP=reports_flood
NET=64
source "$(dirname "$0")/reports_common.sh"
shift || true
FLOOD_SECONDS=4
lab_options "seconds=FLOOD_SECONDS" "$@"
rp_setup
rp_start_agent $((FLOOD_SECONDS + 60))
core_size() { du -sb "$LAB_TMP/home/core" | cut -f1; }
core_before=$(core_size)

rp_flood "$FLOOD_SECONDS" 100000
sleep $((FLOOD_SECONDS / 2))
sent_at=$(lab_now_ms)
rp_spoof
lab_wait 5 lab_bound "$GW_IP" "$GW_MAC" || lab_fail "the gateway was not bound to $GW_MAC during the flood"
bound_ms=$(( $(lab_now_ms) - sent_at ))
wait "$LAB_BG"
cat "$LAB_TMP/flood.out"
echo "bound $bound_ms ms after the claim was sent"
[ "$bound_ms" -le 1000 ] || lab_fail "bound only $bound_ms ms after the claim"
lab_wait 5 lab_file_has "$REPORTS" "$BIND_REPORT" || lab_fail "no AntiARP_RP_ARP_BIND report for $SPOOF_MAC"

rp_stop_within 1100
grows=$(( $(core_size) - core_before ))
read_frames=$(grep -oE 'frames read: +[0-9]+' "$LAB_TMP/agent.out" | grep -oE '[0-9]+$')
capture_drops=$(grep -oE 'frames dropped: .*\(capture [0-9]+' "$LAB_TMP/agent.out" | grep -oE '[0-9]+$')
echo "core/ grew $grows bytes; frames read ${read_frames:-?}, dropped by the capture ${capture_drops:-?}"
[ -n "$read_frames" ] && [ -n "$capture_drops" ] || lab_fail "no summary"
[ $(( capture_drops * 100 )) -lt $(( read_frames + capture_drops )) ] || lab_fail "the capture dropped 1 % or more"
[ "$grows" -lt 1048576 ] || lab_fail "core/ grew by $grows bytes"
grep -F "reports suppressed: " "$LAB_TMP/home/log/Velmora.log" | tail -n 1
lab_file_has "$LAB_TMP/home/log/Velmora.log" "new over the budget" || lab_fail "no count of suppressed reports in the log"
echo "PASS: spoofer bound and reported during the flood, capture drops under 1 %, core/ +$grows bytes"
