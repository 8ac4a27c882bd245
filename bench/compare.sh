#!/usr/bin/env bash
# The agent beside its anchors, on one generated capture, in one run: the
# libpcap read limit (tidewell-pcap-limit), `tcpdump -r`, Debian's
# `arpwatch -r`, and `velmora-agent --replay --speed max`. Prints each one's
# frames per second and the agent's ratio to each.
#
#   bash bench/compare.sh BIN_DIR [--frames N] [--runs R] [--work DIR]
#                                 [--sanity-floor FPS]
#
# Each tool runs R times, one after another in turns, and the best run of
# each counts (the machine is shared; the best run is the least disturbed).
# tcpdump and arpwatch are timed from start to exit; the read limit and the
# agent measure their own reading (the agent over the frames only, from its
# summary). Every tool runs inside an empty network namespace (unshare -n),
# so that the names that arpwatch looks up never leave the machine.
# With --sanity-floor the script fails when the agent stays below FPS or
# loses frames; otherwise it only reports. Exit 77 when a tool it needs is
# missing or namespaces cannot be made.
set -uo pipefail

BIN=${1:-}
[ -n "$BIN" ] && [ -d "$BIN" ] || { echo "usage: compare.sh BIN_DIR [--frames N] [--runs R] [--work DIR] [--sanity-floor FPS]" >&2; exit 2; }
BIN=$(cd "$BIN" && pwd)
shift
FRAMES=1000000
RUNS=3
WORK=""
FLOOR=0
while [ $# -gt 0 ]; do
  case "$1" in
    --frames) FRAMES=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    --sanity-floor) FLOOR=$2; shift 2 ;;
    *) echo "compare.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
case "$FRAMES$RUNS$FLOOR" in *[!0-9]*) echo "compare.sh: numbers only for --frames, --runs, --sanity-floor" >&2; exit 2 ;; esac
[ "$RUNS" -ge 1 ] && [ "$RUNS" -le 20 ] && [ "$FRAMES" -ge 1000 ] && [ "$FRAMES" -le 20000000 ] \
  || { echo "compare.sh: --runs 1..20, --frames 1000..20000000" >&2; exit 2; }

skip() { echo "compare.sh: SKIP: $*"; exit 77; }
for tool in tidewell-capgen tidewell-pcap-limit velmora-agent; do
  [ -x "$BIN/$tool" ] || skip "$BIN/$tool not built"
done
TCPDUMP=$(command -v tcpdump || echo /usr/sbin/tcpdump)
ARPWATCH=$(command -v arpwatch || echo /usr/sbin/arpwatch)
[ -x "$TCPDUMP" ] || skip "tcpdump missing"
[ -x "$ARPWATCH" ] || skip "arpwatch missing (apt-get install arpwatch)"
# An empty network namespace: root's, or a user namespace's without root.
if unshare -n true 2>/dev/null; then
  ISOLATE=(unshare -n)
elif unshare -rn true 2>/dev/null; then
  ISOLATE=(unshare -rn)
else
  skip "cannot make an empty network namespace (unshare -n)"
fi

CLEAN_WORK=0
if [ -z "$WORK" ]; then
  WORK=$(mktemp -d /tmp/tidewell-compare.XXXXXX)
  CLEAN_WORK=1
fi
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)  # arpwatch changes its folder: absolute paths only
cleanup() { [ "$CLEAN_WORK" = 1 ] && rm -rf "$WORK"; return 0; }
trap cleanup EXIT

CAP="$WORK/bench-$FRAMES.pcap"
CFG="$WORK/bench-$FRAMES.json"
if [ ! -s "$CAP" ] || [ ! -s "$CFG" ]; then
  "$BIN/tidewell-capgen" --frames "$FRAMES" --out "$CAP" --config "$CFG" >"$WORK/capgen.out" \
    || { cat "$WORK/capgen.out"; echo "compare.sh: cannot generate the capture" >&2; exit 1; }
fi
cat "$CAP" >/dev/null  # in the page cache before anyone is timed

now() { date +%s.%N; }
# rate FRAMES SECONDS
rate() { awk -v f="$1" -v s="$2" 'BEGIN { printf "%.0f", (s > 0) ? f / s : 0 }'; }
# best CURRENT NEW: the larger
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b > a) ? b : a }'; }

# With an argument: the file read in blocks of that many bytes, as the
# agent's replay reads it (1 MiB), instead of the C library's default.
run_limit() {
  "${ISOLATE[@]}" "$BIN/tidewell-pcap-limit" "$CAP" "$@" | sed -n 's/.* per_second \([0-9]*\)$/\1/p'
}

run_tcpdump() {
  local t0 t1
  t0=$(now)
  "${ISOLATE[@]}" "$TCPDUMP" -n -r "$CAP" >/dev/null 2>"$WORK/tcpdump.err" || { echo 0; return; }
  t1=$(now)
  rate "$FRAMES" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')"
}

run_arpwatch() {
  local t0 t1
  : >"$WORK/arp.dat"
  t0=$(now)
  "${ISOLATE[@]}" "$ARPWATCH" -Q -f "$WORK/arp.dat" -r "$CAP" >"$WORK/arpwatch.out" 2>&1 || { echo 0; return; }
  t1=$(now)
  rate "$FRAMES" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')"
}

# Leaves its summary in agent.out.
run_agent() {
  rm -rf "$WORK/home"
  mkdir -p "$WORK/home"
  : >"$WORK/agent.out"
  "${ISOLATE[@]}" "$BIN/velmora-agent" --config "$CFG" --home "$WORK/home" --replay "$CAP" --speed max --linger 0 \
    >"$WORK/agent.out" 2>&1
}
agent_rate() {
  local r
  r=$(sed -n 's/^ *frames through the callbacks: *[0-9]* (\([0-9]*\)[.0-9]* per second.*/\1/p' "$WORK/agent.out")
  echo "${r:-0}"
}
agent_dropped() { sed -n 's/^ *frames dropped: *\(.*\)$/\1/p' "$WORK/agent.out"; }

LIMIT=0 LIMIT_BLOCKS=0 TCPDUMP_RATE=0 ARPWATCH_RATE=0 AGENT=0 DROPS_SEEN=""
for run in $(seq 1 "$RUNS"); do
  LIMIT=$(best "$LIMIT" "$(run_limit)")
  LIMIT_BLOCKS=$(best "$LIMIT_BLOCKS" "$(run_limit 1048576)")
  TCPDUMP_RATE=$(best "$TCPDUMP_RATE" "$(run_tcpdump)")
  ARPWATCH_RATE=$(best "$ARPWATCH_RATE" "$(run_arpwatch)")
  run_agent
  AGENT=$(best "$AGENT" "$(agent_rate)")
  dropped=$(agent_dropped)
  DROPS_SEEN="$DROPS_SEEN run $run: ${dropped:-no summary};"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mfps() { awk -v a="$1" 'BEGIN { printf "%.2f", a / 1e6 }'; }
LINE_RATE=1488095  # minimum-size frames at 1 GbE
echo "speed comparison: $FRAMES frames ($(wc -c <"$CAP") bytes), best of $RUNS runs, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '  %-34s %10s M frames/s\n' "libpcap read limit" "$(mfps "$LIMIT")"
printf '  %-34s %10s M frames/s\n' "  the same, read in 1 MiB blocks" "$(mfps "$LIMIT_BLOCKS")"
printf '  %-34s %10s M frames/s\n' "tcpdump -n -r" "$(mfps "$TCPDUMP_RATE")"
printf '  %-34s %10s M frames/s\n' "arpwatch -Q -r" "$(mfps "$ARPWATCH_RATE")"
printf '  %-34s %10s M frames/s\n' "velmora-agent --replay --speed max" "$(mfps "$AGENT")"
printf '  agent / read limit   %s   (target 0.5; %s against the limit in 1 MiB blocks)\n' "$(ratio "$AGENT" "$LIMIT")" \
  "$(ratio "$AGENT" "$LIMIT_BLOCKS")"
printf '  agent / tcpdump      %s\n' "$(ratio "$AGENT" "$TCPDUMP_RATE")"
printf '  agent / arpwatch     %s   (target 10)\n' "$(ratio "$AGENT" "$ARPWATCH_RATE")"
printf '  agent / 1 GbE line rate of minimum-size frames   %s   (floor 1)\n' "$(ratio "$AGENT" "$LINE_RATE")"
echo "  agent's dropped frames:$DROPS_SEEN"

if [ "$FLOOR" -gt 0 ]; then
  [ "$AGENT" -ge "$FLOOR" ] || { echo "compare.sh: FAIL: the agent did $AGENT frames per second, below the sanity floor $FLOOR"; exit 1; }
  case "$DROPS_SEEN" in
    *"no summary"*) echo "compare.sh: FAIL: an agent run printed no summary"; cat "$WORK/agent.out"; exit 1 ;;
  esac
fi
exit 0
