#!/usr/bin/env bash
# Durability of the report queue, and damaged archives.
#
# Kills: in every round the agent replays numbered rogue DHCP offers (each
# one reported at once) while its core refuses, so that every report is
# queued and archived, and is killed with SIGKILL at a random moment; this
# several times. Then the agent starts once with the core accepting. Every
# report that was queued before a kill must reach core/reports.jsonl exactly
# once, in order. The alarm of a report is written just before the report is
# queued, so of each killed run every alarmed report but possibly the last
# must arrive, and nothing that was not alarmed.
#
# Kills during delivery: in every round a queue of hundreds of reports is
# built (the core refusing), then the agent starts with the core accepting
# and is killed with SIGKILL as soon as the core has written a random number
# of further lines, several times: each kill lands after the core's write
# and before the archive's rewrite, so the next start offers the same blocks
# again. After one start that runs to its end, every queued report must be
# in core/reports.jsonl exactly once, in order.
#
# Damaged archives: a real archive truncated at many lengths, with flipped
# bytes, with implausible counts and lengths, and replaced by garbage. The
# agent must start and stop cleanly (exit 0) on each, say the damage in its
# log, and stay under the memory bound.
#
#   scripts/durability.sh BIN [--rounds N] [--kills K] [--queue Q] [--damaged D] [--rss-mb M] [--seed S]
# Prints one FIGURE line per number; exits non-zero on any loss, duplicate,
# disorder, crash or silent damage. Needs perl and python3, no root.
set -uo pipefail
LAB=durability
source "$(dirname "$0")/../tests/lab/lab_common.sh" "${1:?usage: durability.sh BIN [--rounds N] [--kills K] [--queue Q] [--damaged D] [--rss-mb M] [--seed S]}"
shift
ROUNDS=4
KILLS=5
QUEUE=250
DAMAGED=60
RSS_LIMIT_MB=64
SEED=$$
lab_options "rounds=ROUNDS kills=KILLS queue=QUEUE damaged=DAMAGED rss-mb=RSS_LIMIT_MB seed=SEED" "$@"
[ "$QUEUE" -ge 2 ] && [ "$QUEUE" -le 255 ] || { echo "durability.sh: --queue takes 2 to 255"; exit 2; }
AGENT=$BIN/velmora-agent
lab_require_bin velmora-agent
command -v perl >/dev/null || lab_skip "perl missing"
command -v python3 >/dev/null || lab_skip "python3 missing"
[ -x /usr/bin/time ] || lab_skip "/usr/bin/time missing"
RANDOM=$SEED
lab_start
TMP=$LAB_TMP
HOME_DIR=$TMP/home
failures=0
problem() { echo "PROBLEM: $*"; failures=$((failures + 1)); }
figure() { echo "FIGURE durability $1 $2"; }

# The DHCP demo's host with its core refusing or accepting, and no heartbeat
# that would offer the queue again during a run.
for accepts in false true; do
  sed -e "s/\"core_accepts\": true/\"core_accepts\": $accepts/" -e 's/"heartbeat_s": [0-9]*/"heartbeat_s": 86400/' \
    "$(dirname "$0")/../examples/dhcp-demo.json" >"$TMP/core-accepts-$accepts.json"
done
REFUSING=$TMP/core-accepts-false.json
ACCEPTING=$TMP/core-accepts-true.json

# write_pcap FILE TAG COUNT GAP_MS: COUNT unicast offers without an address,
# GAP_MS apart, from servers 02:78:TT:00:00:NN (TT = TAG, NN = 1..COUNT),
# built by the DHCP demo's own code; COUNT 0 writes one frame that no
# callback takes.
write_pcap() {
  python3 - "$(dirname "$0")/../examples/dhcp-make-demo.py" "$@" <<'PY'
import runpy, sys, types
demo = types.SimpleNamespace(**runpy.run_path(sys.argv[1]))
path, tag, count, gap = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
offers = [(n * gap / 1000, demo.dhcp_offer("02:78:%02x:00:00:%02x" % (tag, n), "10.77.0.99", "0.0.0.0", []))
          for n in range(1, count + 1)]
quiet = [(0, demo.mac(demo.HOST_MAC) + demo.mac("02:77:00:00:00:99") + b"\x86\xdd" + bytes(46))]
with open(path, "wb") as out:
    out.write(demo.pcap(offers or quiet))
PY
}
write_pcap "$TMP/quiet.pcap" 0 0 0

# The server macs of the core's reports or alarms from line $1 on, in order
# (empty blocks skipped).
reported_macs() { tail -n +"$1" "$HOME_DIR/core/reports.jsonl" 2>/dev/null | grep -oE '02:78(:[0-9a-f]{2}){4}'; }
alarmed_macs() { tail -n +"$1" "$HOME_DIR/core/alarms.jsonl" 2>/dev/null | grep -oE '02:78(:[0-9a-f]{2}){4}'; }
line_count() { if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi; }
# deliver LINGER: the accepting agent on a capture of nothing to judge, so
# that it only offers its queue to the core.
DELIVER=("$AGENT" --config "$ACCEPTING" --home "$HOME_DIR" --replay "$TMP/quiet.pcap" --speed max --linger)
deliver() { "${DELIVER[@]}" "$1" >"$TMP/agent.out" 2>&1; }

# ---- kills while reports are queued

OFFERS=30
GAP_MS=25
kills_done=0
reports_queued=0
reports_lost=0
reports_duplicated=0
mkdir -p "$HOME_DIR"
for round in $(seq 1 "$ROUNDS"); do
  expected=()
  for kill in $(seq 1 "$KILLS"); do
    tag=$(( (round * 16 + kill) % 256 ))
    write_pcap "$TMP/offers.pcap" "$tag" "$OFFERS" "$GAP_MS"
    alarms_before=$(( $(line_count "$HOME_DIR/core/alarms.jsonl") + 1 ))
    "$AGENT" --config "$REFUSING" --home "$HOME_DIR" --replay "$TMP/offers.pcap" --linger 30 \
      >"$TMP/agent.out" 2>&1 &
    pid=$!
    LAB_PIDS+=("$pid")
    # Anywhere from start-up to past the last offer.
    delay_ms=$(( 50 + RANDOM % (OFFERS * GAP_MS + 400) ))
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    kill -9 "$pid"
    wait "$pid" 2>/dev/null
    kills_done=$((kills_done + 1))
    mapfile -t alarmed < <(alarmed_macs "$alarms_before")
    # All but the last alarmed report were queued before the kill for sure.
    n=${#alarmed[@]}
    must=$(( n > 0 ? n - 1 : 0 ))
    expected+=("$kill:$must:$n:${alarmed[*]}")
  done
  reports_before=$(( $(line_count "$HOME_DIR/core/reports.jsonl") + 1 ))
  deliver 0.3 || problem "round $round: the accepting run failed: $(tail -n 3 "$TMP/agent.out")"
  mapfile -t got < <(reported_macs "$reports_before")
  # Delivered, in order: of each killed run a prefix of its alarmed reports.
  at=0
  for entry in "${expected[@]}"; do
    IFS=: read -r kill must n list <<<"$entry"
    read -r -a alarmed <<<"$list"
    taken=0
    while [ "$taken" -lt "$n" ] && [ "$at" -lt "${#got[@]}" ] && [ "${got[$at]}" = "${alarmed[$taken]}" ]; do
      taken=$((taken + 1))
      at=$((at + 1))
    done
    reports_queued=$((reports_queued + must))
    if [ "$taken" -lt "$must" ]; then
      problem "round $round kill $kill: $((must - taken)) queued report(s) lost (alarmed $n, delivered $taken)"
      reports_lost=$((reports_lost + must - taken))
    fi
  done
  if [ "$at" -ne "${#got[@]}" ]; then
    extra=$(( ${#got[@]} - at ))
    dup=$(printf '%s\n' "${got[@]}" | sort | uniq -d | wc -l)
    reports_duplicated=$((reports_duplicated + dup))
    problem "round $round: $extra report(s) delivered out of order, twice or never alarmed (duplicates: $dup)"
  fi
  again=$(( $(line_count "$HOME_DIR/core/reports.jsonl") + 1 ))
  deliver 0.1
  [ -z "$(reported_macs "$again")" ] || problem "round $round: reports delivered a second time on the next start"
done
figure kills "$kills_done"
figure reports_queued_before_kills "$reports_queued"
figure reports_lost "$reports_lost"
figure reports_duplicated "$reports_duplicated"

# ---- kills while the accepting agent delivers its queue

# run_until_lines N: runs the accepting agent and kills it with SIGKILL as
# soon as the core has written N more lines; exit 0 when it was killed, 1
# when it ended before.
run_until_lines() {
  perl -e '
    use POSIX ":sys_wait_h";
    use Time::HiRes qw(usleep time);
    my ($file, $want, $out, @cmd) = @ARGV;
    my $start = -s $file || 0;
    my $pid = fork() // die "fork: $!";
    if ($pid == 0) { open(STDOUT, ">>", $out); open(STDERR, ">&STDOUT"); exec(@cmd) or exit 127; }
    my $deadline = time + 60;
    while (time < $deadline) {
      exit 1 if waitpid($pid, WNOHANG) == $pid;
      if (open(my $h, "<", $file)) {
        seek($h, $start, 0);
        my $n = 0;
        $n++ while <$h>;
        close $h;
        if ($n >= $want) { kill 9, $pid; waitpid($pid, 0); exit 0; }
      }
      usleep(200);
    }
    kill 9, $pid; waitpid($pid, 0); exit 2;' "$HOME_DIR/core/reports.jsonl" "$1" "$TMP/agent.out" "${DELIVER[@]}" 0.3
}

# The reports' gate lets 20 new reports of a kind through each second.
QUEUE_GAP_MS=55
delivery_kills=0
delivery_queued=0
delivery_lost=0
delivery_doubled=0
delivery_disorder=0
for round in $(seq 1 "$ROUNDS"); do
  tag=$(( (200 + round) % 256 ))
  write_pcap "$TMP/queue.pcap" "$tag" "$QUEUE" "$QUEUE_GAP_MS"
  alarms_before=$(( $(line_count "$HOME_DIR/core/alarms.jsonl") + 1 ))
  "$AGENT" --config "$REFUSING" --home "$HOME_DIR" --replay "$TMP/queue.pcap" --linger 0.3 \
    >"$TMP/agent.out" 2>&1 || problem "delivery round $round: the refusing run failed: $(tail -n 3 "$TMP/agent.out")"
  mapfile -t queued < <(alarmed_macs "$alarms_before")
  delivery_queued=$((delivery_queued + ${#queued[@]}))
  start=$(( $(line_count "$HOME_DIR/core/reports.jsonl") + 1 ))
  for kill in $(seq 1 "$KILLS"); do
    left=$(( ${#queued[@]} - $(reported_macs "$start" | sort -u | wc -l) ))
    [ "$left" -gt 1 ] || break
    run_until_lines $(( 1 + RANDOM % (left - 1) ))
    case $? in
      0) delivery_kills=$((delivery_kills + 1)) ;;
      1) ;;  # the delivery ended before the kill
      *) problem "delivery round $round kill $kill: the agent neither delivered nor ended" ;;
    esac
  done
  deliver 0.3 || problem "delivery round $round: the accepting run failed: $(tail -n 3 "$TMP/agent.out")"
  mapfile -t got < <(reported_macs "$start")
  lost=$(comm -23 <(printf '%s\n' "${queued[@]}" | sort -u) <(printf '%s\n' "${got[@]}" | sort -u) | grep -c .)
  doubled=$(printf '%s\n' "${got[@]}" | sort | uniq -d | grep -c .)
  delivery_lost=$((delivery_lost + lost))
  delivery_doubled=$((delivery_doubled + doubled))
  [ "$lost" -eq 0 ] || problem "delivery round $round: $lost queued report(s) lost"
  [ "$doubled" -eq 0 ] || problem "delivery round $round: $doubled report(s) delivered twice"
  if [ "$lost" -eq 0 ] && [ "$doubled" -eq 0 ] && [ "${got[*]}" != "${queued[*]}" ]; then
    delivery_disorder=$((delivery_disorder + 1))
    problem "delivery round $round: reports out of order or never alarmed"
  fi
done
figure delivery_kills "$delivery_kills"
figure reports_queued_before_delivery_kills "$delivery_queued"
figure delivery_reports_lost "$delivery_lost"
figure delivery_reports_duplicated "$delivery_doubled"
figure delivery_rounds_out_of_order "$delivery_disorder"

# ---- damaged archives

ARC_HOME=$TMP/arc-home
rm -rf "$ARC_HOME"
write_pcap "$TMP/twenty.pcap" 200 20 1
"$AGENT" --config "$REFUSING" --home "$ARC_HOME" --replay "$TMP/twenty.pcap" --speed max --linger 0.3 \
  >"$TMP/agent.out" 2>&1 || problem "could not make the archive to damage"
ARCHIVE=$ARC_HOME/arc_file/his_arp_attack
cp "$ARCHIVE" "$TMP/good.arc"
SIZE=$(stat -c %s "$TMP/good.arc")

# put_u32 FILE OFFSET VALUE: a little-endian 32-bit value written in place.
put_u32() {
  perl -e 'my ($f, $o, $v) = @ARGV; open(my $h, "+<:raw", $f) or die; seek($h, $o, 0); print $h pack("V", $v & 0xffffffff);' "$1" "$2" "$3"
}
flip_byte() {
  perl -e 'my ($f, $o, $x) = @ARGV; open(my $h, "+<:raw", $f) or die; seek($h, $o, 0); read($h, my $b, 1);
           seek($h, $o, 0); print $h chr(ord($b) ^ ($x || 1));' "$1" "$2" "$3"
}

damaged=0
worst_kb=0
try_archive() {  # WHAT: runs the agent on the damaged archive in $TMP/damaged.arc
  rm -rf "$ARC_HOME"
  mkdir -p "$ARC_HOME/arc_file"
  cp "$TMP/damaged.arc" "$ARCHIVE"
  /usr/bin/time -f '%M' -o "$TMP/rss" "$AGENT" --config "$ACCEPTING" --home "$ARC_HOME" \
    --replay "$TMP/quiet.pcap" --speed max --linger 0.1 >"$TMP/agent.out" 2>&1
  local rc=$?
  local kb
  kb=$(tail -n 1 "$TMP/rss")
  damaged=$((damaged + 1))
  [ "$kb" -gt "$worst_kb" ] && worst_kb=$kb
  [ "$rc" = 0 ] || problem "$1: exit $rc"
  [ $((kb / 1024)) -lt "$RSS_LIMIT_MB" ] || problem "$1: $((kb / 1024)) MB"
  grep -qE 'archive .*(truncated|damaged|no archive|version)|read_arc (no entry count|implausible|damaged|.*beyond)' \
    "$ARC_HOME/log/Velmora.log" || [ "${2:-}" = quiet_ok ] || problem "$1: damage not said in the log"
}

# Truncated at the edges of the header and at 30 lengths spread over the rest.
for cut in 0 1 4 8 12 15 16 17 19 20 $(seq 23 $(( (SIZE - 23) / 30 + 1 )) $((SIZE - 1))) $((SIZE - 1)); do
  [ "$cut" -ge "$SIZE" ] && continue
  head -c "$cut" "$TMP/good.arc" >"$TMP/damaged.arc"
  # An archive cut to nothing reads as an empty queue; nothing to say then.
  if [ "$cut" -eq 0 ]; then try_archive "truncated to 0" quiet_ok; else try_archive "truncated to $cut"; fi
done
# Implausible counts and lengths: the entry count, the first record count,
# the first string length and the map count.
for value in 2147483647 -1 -2147483648 1000000 5000001 65536; do
  for offset in 16 20 24; do
    cp "$TMP/good.arc" "$TMP/damaged.arc"
    put_u32 "$TMP/damaged.arc" "$offset" "$value"
    try_archive "value $value at $offset"
  done
done
# Random flips, one to three bytes each, until the number asked for.
while [ "$damaged" -lt "$DAMAGED" ]; do
  cp "$TMP/good.arc" "$TMP/damaged.arc"
  for _ in $(seq 1 $((1 + RANDOM % 3))); do
    flip_byte "$TMP/damaged.arc" $((RANDOM % SIZE)) $((1 + RANDOM % 255))
  done
  try_archive "flipped bytes"
done
# Garbage of the archive's size, and a huge file of zeros.
head -c "$SIZE" /dev/urandom >"$TMP/damaged.arc"
try_archive "random bytes"
head -c $((64 * 1024 * 1024)) /dev/zero >"$TMP/damaged.arc"
try_archive "64 MB of zeros"
figure damaged_archives "$damaged"
figure damaged_archive_peak_rss_mb $((worst_kb / 1024))
figure seed "$SEED"

echo
if [ "$failures" -ne 0 ]; then
  lab_fail "$failures problem(s) (seed $SEED; LAB_KEEP=1 keeps $TMP)"
fi
echo "PASS: $kills_done kills, $reports_queued queued reports, none lost or doubled;" \
  "$delivery_kills kills during delivery of $delivery_queued queued reports, none lost, doubled or out of order;" \
  "$damaged damaged archives survived"
