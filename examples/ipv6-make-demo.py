#!/usr/bin/env python3
"""Writes ipv6-demo.pcap: the IPv6 forms of the attacks, beside the
legitimate router and DHCPv6 server.

Segment fd77:6::/64: this host fe80::a (02:77:06:00:00:0a), the router
fe80::1 (02:77:06:00:00:01) advertising fd77:6::/64, the DHCPv6 server
fe80::2 (02:77:06:00:00:02, DUID 00:03:00:01:02:77:06:00:00:02) and an
attacker fe80::66 (02:77:06:00:00:66).

  0.0 s  the router advertises fd77:6::/64 (to all nodes)
  0.2 s  the server answers this host's solicit (ADVERTISE)
  0.5 s  the attacker advertises fe80::1 at its own MAC (unsolicited, override)
  0.6 s  the router defends fe80::1 at its own MAC (to all nodes)
  1.0 s  the attacker advertises itself as a router, prefix fd77:66::/64
  1.5 s  the attacker answers this host's solicit as a DHCPv6 server
  2.0 s  the router advertises fd77:6::/64 again

Usage: python3 ipv6-make-demo.py [output.pcap]   (default: ipv6-demo.pcap
beside this script). Standard library only; the output is byte-for-byte
reproducible. The lab tests send the same frames (import this file).
"""
import ipaddress
import os
import runpy
import struct
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
demo = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "dhcp-make-demo.py")))
mac, checksum, pcap = demo.mac, demo.checksum, demo.pcap

HOST_IP, HOST_MAC = "fe80::a", "02:77:06:00:00:0a"
ROUTER_IP, ROUTER_MAC = "fe80::1", "02:77:06:00:00:01"
SERVER_IP, SERVER_MAC = "fe80::2", "02:77:06:00:00:02"
SERVER_DUID = "00:03:00:01:02:77:06:00:00:02"
ROGUE_IP, ROGUE_MAC = "fe80::66", "02:77:06:00:00:66"
ALL_NODES, ALL_NODES_MAC = "ff02::1", "33:33:00:00:00:01"


def ip6(text):
    return ipaddress.IPv6Address(text).packed


def ipv6(eth_dst, eth_src, src, dst, next_header, payload, hop_limit=255):
    """An Ethernet frame of an IPv6 packet whose ICMPv6 or UDP checksum
    (at `payload` bytes 2 or 6) is filled in."""
    at = 2 if next_header == 58 else 6
    pseudo = ip6(src) + ip6(dst) + struct.pack("!IxxxB", len(payload), next_header)
    padded = pseudo + payload + (b"\x00" if len(payload) % 2 else b"")
    payload = payload[:at] + struct.pack("!H", checksum(padded)) + payload[at + 2:]
    header = struct.pack("!IHBB", 0x60000000, len(payload), next_header, hop_limit) + ip6(src) + ip6(dst)
    return mac(eth_dst) + mac(eth_src) + struct.pack("!H", 0x86DD) + header + payload


def neighbour_advert(src_mac, src_ip, target, target_mac, eth_dst=ALL_NODES_MAC, dst=ALL_NODES, solicited=False):
    """A neighbour advertisement with the override flag and a target
    link-layer option."""
    flags = 0x20000000 | (0x40000000 if solicited else 0)
    icmp = struct.pack("!BBHI", 136, 0, 0, flags) + ip6(target) + bytes([2, 1]) + mac(target_mac)
    return ipv6(eth_dst, src_mac, src_ip, dst, 58, icmp)


def router_advert(src_mac, src_ip, prefix, lifetime=1800):
    """A router advertisement to all nodes: a source link-layer option and
    one on-link, autonomous prefix of length 64."""
    icmp = struct.pack("!BBHBBHII", 134, 0, 0, 64, 0, lifetime, 0, 0)
    icmp += bytes([1, 1]) + mac(src_mac)
    icmp += struct.pack("!BBBBIII", 3, 4, 64, 0xC0, 86400, 14400, 0) + ip6(prefix)
    return ipv6(ALL_NODES_MAC, src_mac, src_ip, ALL_NODES, 58, icmp)


def dhcp6_advertise(server_mac, server_ip, duid):
    """An ADVERTISE from port 547 to this host's port 546, with the server
    identifier and a client identifier."""
    server_id = bytes(int(part, 16) for part in duid.split(":"))
    client_id = bytes([0, 3, 0, 1]) + mac(HOST_MAC)
    message = bytes([2, 0x12, 0x34, 0x56])
    message += struct.pack("!HH", 1, len(client_id)) + client_id
    message += struct.pack("!HH", 2, len(server_id)) + server_id
    udp = struct.pack("!HHHH", 547, 546, 8 + len(message), 0) + message
    return ipv6(HOST_MAC, server_mac, server_ip, HOST_IP, 17, udp, hop_limit=64)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "ipv6-demo.pcap")
    records = [
        (0.0, router_advert(ROUTER_MAC, ROUTER_IP, "fd77:6::")),
        (0.2, dhcp6_advertise(SERVER_MAC, SERVER_IP, SERVER_DUID)),
        (0.5, neighbour_advert(ROGUE_MAC, ROGUE_IP, ROUTER_IP, ROGUE_MAC)),
        (0.6, neighbour_advert(ROUTER_MAC, ROUTER_IP, ROUTER_IP, ROUTER_MAC)),
        (1.0, router_advert(ROGUE_MAC, ROGUE_IP, "fd77:66::")),
        (1.5, dhcp6_advertise(ROGUE_MAC, ROGUE_IP, "00:03:00:01:" + ROGUE_MAC)),
        (2.0, router_advert(ROUTER_MAC, ROUTER_IP, "fd77:6::")),
    ]
    with open(target, "wb") as f:
        f.write(pcap(records))
    print("wrote", target, "with", len(records), "frames")


if __name__ == "__main__":
    main()
