#!/usr/bin/env bash
# The replay demos of examples/ through velmora-agent with libtidewell.so on
# Linux and through tidewell-host.exe with Tidewell.dll under Wine, side by
# side: the alarms on standard output, the core's reports and alarms, the
# attack log and the frames sent must be the same (times, thread ids and
# tick counts aside).
#   replay_compare.sh LINUX_BIN WINDOWS_BIN
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: replay_compare.sh LINUX_BIN WINDOWS_BIN" >&2
  exit 2
fi
linux_bin=$(cd "$1" && pwd)
win_bin=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../../examples" && pwd)
for need in "$linux_bin/velmora-agent" "$win_bin/tidewell-host.exe" "$win_bin/Tidewell.dll"; do
  if [ ! -e "$need" ]; then
    echo "replay_compare.sh: $need is missing" >&2
    exit 1
  fi
done
command -v tcpdump >/dev/null || { echo "replay_compare.sh: tcpdump is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/tidewell-replay-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

# What a run leaves, without what differs from run to run (and the machine's
# name, which Wine gives as Windows' computer name).
unstamp='s/,"time":"[^"]*","host":"[^"]*"//; '
normalise() {
  local home=$1 out=$2
  # Standard output of a Windows program ends its lines with CR LF.
  tr -d '\r' <"$out" | grep -E '^(ALARM|WINDOW) \[' || true
  echo "--- reports"
  sed -E "$unstamp"'s/"iElapsed":[0-9]+/"iElapsed":N/g; s/,"block":"[0-9a-f]{16}"/,"block":ID/' "$home/core/reports.jsonl" 2>/dev/null || true
  echo "--- alarms"
  sed -E "$unstamp" "$home/core/alarms.jsonl" 2>/dev/null || true
  echo "--- attack log"
  sed -E 's/^[0-9-]+ [0-9:.]+ \[[0-9]+\] //; s/GetTickCount: [0-9]+/GetTickCount: N/g' "$home/log/Attack.log" 2>/dev/null || true
  echo "--- sent frames"
  if [ -s "$home/sent.pcap" ]; then tcpdump -r "$home/sent.pcap" -t -nn -xx 2>/dev/null; fi
}

failed=0
for scenario in "arp-demo arp-mode1" "arp-demo arp-mode2" "dhcp-demo dhcp-demo" "ipv6-demo ipv6-demo" \
  "ipv6-demo ipv6-demo-probe"; do
  set -- $scenario
  pcap=$examples/$1.pcap
  config=$examples/$2.json
  name=$2
  # Both at the capture's own pace, at the same time: the probes' timing is
  # part of the outcome.
  "$linux_bin/velmora-agent" --replay "$pcap" --config "$config" --home "$work/linux-$name" --linger 4 \
    >"$work/linux-$name.out" 2>&1 &
  linux_pid=$!
  win_rc=0
  bash "$here/wine-run.sh" "$win_bin/tidewell-host.exe" --replay "$pcap" --config "$config" \
    --home "$work/windows-$name" --linger 4 >"$work/windows-$name.out" 2>&1 || win_rc=$?
  linux_rc=0
  wait "$linux_pid" || linux_rc=$?
  if [ "$win_rc" -ne 0 ] || [ "$linux_rc" -ne 0 ]; then
    echo "FAIL $name: exit codes linux $linux_rc, windows $win_rc"
    cat "$work/windows-$name.out"
    failed=1
    continue
  fi
  normalise "$work/linux-$name" "$work/linux-$name.out" >"$work/linux-$name.norm"
  normalise "$work/windows-$name" "$work/windows-$name.out" >"$work/windows-$name.norm"
  if ! grep -q '^--- reports' "$work/windows-$name.norm" || ! grep -qE '"str_desc"|WINDOW' "$work/windows-$name.norm"; then
    echo "FAIL $name: the Windows run reported nothing"
    failed=1
  elif diff -u "$work/linux-$name.norm" "$work/windows-$name.norm"; then
    echo "same $name: $(grep -c '"str_desc"' "$work/windows-$name/core/reports.jsonl") report records," \
      "$(grep -cE '^(ALARM|WINDOW)' "$work/windows-$name.out") alarms, $(grep -c '0x0000:' "$work/windows-$name.norm" || true) frames sent"
  else
    echo "FAIL $name: the Windows run differs from the Linux run"
    failed=1
  fi
done
exit "$failed"
