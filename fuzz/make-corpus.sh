#!/usr/bin/env bash
# Makes the fuzz targets' seed corpus in fuzz/corpus/<target>/ from real
# traffic: a host, its gateway and a DHCP server (dnsmasq) in network
# namespaces on one bridge; dhclient leases an address, the host talks to its
# gateway, the gateway announces itself, a spoofer claims the gateway. The
# host's frames are captured on its bridge port and cut into seeds, with the
# demo captures of examples/ beside them. Archives come from the agent
# replaying the demos while its core refuses, configs from examples/ and the
# README. Needs root, ip, tcpdump, dnsmasq, dhclient, arping and a built
# agent:  sudo bash fuzz/make-corpus.sh BUILD/bin
# The seeds are committed; run this only to renew them (FUZZ_CORPUS=DIR
# writes them elsewhere).
set -uo pipefail
LAB=fzseed
NET=0
source "$(dirname "$0")/../tests/lab/lab_common.sh" "${1:?usage: make-corpus.sh BUILD/bin}"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${FUZZ_CORPUS:-$ROOT/fuzz/corpus}
lab_require tcpdump dnsmasq dhclient arping perl
lab_require_bin velmora-agent
lab_start
lab_bridge
lab_netns host gw srv spoof
lab_port host h0 "$HOST_MAC" ""
lab_port gw g0 "$GW_MAC" "$GW_IP"
lab_port srv s0 02:77:00:00:00:02 10.77.0.2
lab_port spoof x0 "$SPOOF_MAC" "$SPOOF_IP"

lab_capture seg ph0 host.pcap 'arp or udp port 67 or udp port 68'
lab_dnsmasq srv dnsmasq --interface=s0 --dhcp-range=10.77.0.10,10.77.0.10,255.255.255.0,1h \
  --dhcp-option=3,10.77.0.1,10.77.0.2
printf 'request subnet-mask, routers;\ntimeout 20;\n' >"$LAB_TMP/dhclient.conf"
lab_dhclient dhclient -cf "$LAB_TMP/dhclient.conf"
lab_wait 25 lab_file_has "$LAB_TMP/dhclient.out" "bound to" || lab_fail "dhclient got no lease"
ip -n "$LAB-host" addr replace 10.77.0.10/24 dev h0
ip -n "$LAB-host" route replace default via 10.77.0.1 dev h0
ip netns exec "$LAB-host" arping -c 1 -I h0 10.77.0.1 >/dev/null 2>&1
ip netns exec "$LAB-gw" arping -c 1 -U -I g0 10.77.0.1 >/dev/null 2>&1
ip netns exec "$LAB-gw" arping -c 1 -A -I g0 10.77.0.1 >/dev/null 2>&1
ip netns exec "$LAB-spoof" arping -c 1 -U -I x0 -s 10.77.0.1 10.77.0.10 >/dev/null 2>&1
ip netns exec "$LAB-spoof" arping -c 1 -I x0 10.77.0.10 >/dev/null 2>&1
sleep 1
kill "${LAB_PIDS[0]}"
sleep 0.5

# split_frames PCAP PREFIX [FILTER]: one file per frame (of those FILTER
# takes): PREFIX-N
split_frames() {
  tcpdump -r "$1" -w "$LAB_TMP/part.pcap" "${@:3}" 2>/dev/null
  perl -e '
    my ($file, $prefix) = @ARGV;
    open(my $in, "<:raw", $file) or die "$file: $!";
    read($in, my $header, 24) == 24 or die "short pcap";
    my $n = 0;
    while (read($in, my $rec, 16) == 16) {
      my (undef, undef, $caplen) = unpack("VVV", $rec);
      read($in, my $frame, $caplen) == $caplen or last;
      open(my $out, ">:raw", sprintf("%s-%02d", $prefix, $n++)) or die;
      print $out $frame;
      close($out);
    }' "$LAB_TMP/part.pcap" "$2"
}

mkdir -p "$LAB_TMP/frames"
split_frames "$LAB_TMP/host.pcap" "$LAB_TMP/frames/dhcp-lab" 'udp port 67 or udp port 68'
split_frames "$ROOT/examples/dhcp-demo.pcap" "$LAB_TMP/frames/dhcp-demo" ip
split_frames "$LAB_TMP/host.pcap" "$LAB_TMP/frames/arp-lab" arp
split_frames "$ROOT/examples/arp-demo.pcap" "$LAB_TMP/frames/arp-demo"
split_frames "$ROOT/examples/dhcp-demo.pcap" "$LAB_TMP/frames/arp-dhcpdemo" arp

# The seeds written by hand for fixed faults (regress-*) stay; the rest is
# made anew.
find "$OUT" -type f ! -name 'regress-*' -delete 2>/dev/null || true
mkdir -p "$OUT"/{fuzz_arp_callback,fuzz_dhcp_callback,fuzz_archive_reader,fuzz_agent_config,fuzz_bind_list,fuzz_ipv6_callback}

# DHCP callback: every DHCP frame as it was captured.
cp "$LAB_TMP"/frames/dhcp-* "$OUT/fuzz_dhcp_callback/"

# IPv6 callback: a guard byte (0 the router listed, 1 probed), then each
# frame of the IPv6 demo.
split_frames "$ROOT/examples/ipv6-demo.pcap" "$LAB_TMP/frames/ipv6-demo"
for f in "$LAB_TMP"/frames/ipv6-demo-*; do
  { printf '\x00'; cat "$f"; } >"$OUT/fuzz_ipv6_callback/demo-${f##*-}-listed"
  { printf '\x01'; cat "$f"; } >"$OUT/fuzz_ipv6_callback/demo-${f##*-}-probed"
done

# ARP callback: a policy byte, a bind list, then records (kind, 16-bit
# length, bytes). Each captured ARP frame alone, and sequences of them.
record() {  # KIND FILE -> record bytes on stdout
  local size
  size=$(stat -c %s "$2")
  printf "\\x$(printf %02x "$1")\\x$(printf %02x $((size >> 8)))\\x$(printf %02x $((size & 255)))"
  cat "$2"
}
wait_ms() { printf "\\x02\\x$(printf %02x $(($1 >> 8)))\\x$(printf %02x $(($1 & 255)))"; }
BIND='10.77.0.1-02:77:00:00:00:01,10.77.0.2-02:77:00:00:00:02'
for f in "$LAB_TMP"/frames/arp-*; do
  { printf '\x01'; printf '\x00'; record 0 "$f"; } >"$OUT/fuzz_arp_callback/frame-$(basename "$f")"
done
for policy in 1 2 6; do  # probing; binding without and with auto-binding
  {
    printf "\\x$(printf %02x $policy)%s\\x00" "$BIND"
    for f in "$LAB_TMP"/frames/arp-demo-*; do record 0 "$f"; wait_ms 500; done
    wait_ms 1000
    record 0 "$LAB_TMP/frames/arp-demo-00"
  } >"$OUT/fuzz_arp_callback/demo-policy-$policy"
done
{
  printf '\x01\x00'
  record 1 "$LAB_TMP/frames/dhcp-demo-00"
  record 0 "$LAB_TMP/frames/arp-dhcpdemo-00"
  record 1 "$LAB_TMP/frames/dhcp-demo-01"
  wait_ms 4000
} >"$OUT/fuzz_arp_callback/dhcp-probe-answered"

# Bind list: list, IP and MAC separated by 0 bytes.
printf '%s\0%s\0%s' "$BIND" 10.77.0.1 02:77:00:00:00:01 >"$OUT/fuzz_bind_list/pair-present"
printf '%s\0%s\0%s' "$BIND" 10.77.0.1 02:77:00:00:00:66 >"$OUT/fuzz_bind_list/pair-other-mac"
printf '%s\0%s\0%s' "192.168.1.1-00:1a:2b:3c:4d:5e" 2.168.1.1 00:1a:2b:3c:4d:5e >"$OUT/fuzz_bind_list/inside-another"
printf '%s\0%s\0%s' "10.77.0.1-02-77-00-00-00-01 10.77.0.2-02:77:00:00:00" 10.77.0.2 02:77:00:00:00:02 \
  >"$OUT/fuzz_bind_list/dashes-and-short"

# Configs.
cp "$ROOT"/examples/*.json "$OUT/fuzz_agent_config/"
sed -n '/^### Config/,/^- `policy`/p' "$ROOT/README.md" | sed -n '/^```json/,/^```/p' | sed '1d;$d' \
  >"$OUT/fuzz_agent_config/readme.json"

# Archives: what the agent queues while its core refuses; mode byte 0 =
# the file as it is, 1 = its payload behind a header made by the target.
for demo in arp-demo:arp-mode1 arp-demo:arp-mode2 dhcp-demo:dhcp-demo; do
  pcap=${demo%%:*}
  config=${demo##*:}
  home="$LAB_TMP/home-$config"
  sed 's/"core_accepts": true/"core_accepts": false/' "$ROOT/examples/$config.json" >"$LAB_TMP/$config.json"
  "$BIN/velmora-agent" --config "$LAB_TMP/$config.json" --home "$home" --replay "$ROOT/examples/$pcap.pcap" \
    --speed max --linger 5 >/dev/null 2>&1 || lab_fail "the agent did not replay $pcap"
  { printf '\x00'; cat "$home/arc_file/his_arp_attack"; } >"$OUT/fuzz_archive_reader/file-$config"
  { printf '\x01'; tail -c +17 "$home/arc_file/his_arp_attack"; } >"$OUT/fuzz_archive_reader/payload-$config"
done
echo "seeds:"
for d in "$OUT"/*; do
  echo "  $(basename "$d"): $(find "$d" -type f | wc -l)"
  [ -n "$(ls "$d")" ] || lab_fail "no seeds for $(basename "$d")"
done
