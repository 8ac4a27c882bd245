#!/usr/bin/env python3
"""Writes dhcp-demo.pcap: a rogue DHCP server on a small segment.

Segment 10.77.0.0/24: this host 10.77.0.10 (02:77:00:00:00:0a), its
gateway 10.77.0.1 (02:77:00:00:00:01), the real DHCP server 10.77.0.2
(02:77:00:00:00:02), and two rogue servers, 02:77:00:00:00:66 and
02:77:00:00:00:99. Every offer is sent unicast to this host.

  0.0 s  the real server offers 10.77.0.10 with gateway 10.77.0.1
  0.6 s  the gateway answers this host (as it answers the plug-in's probe)
  1.0 s  a rogue server offers 10.77.0.10 with gateway 10.77.0.254, which
         nobody answers for: after three probe requests, the DHCP alarm
  1.5 s  another rogue server offers no address at all: reported at once

Usage: python3 dhcp-make-demo.py [output.pcap]   (default: dhcp-demo.pcap
beside this script). Only the standard library is used; the output is
byte-for-byte reproducible.
"""
import os
import runpy
import struct
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
arp_demo = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "make-demo.py")))
# The same segment as the ARP demo, with its frames and capture file.
mac, ip, arp_reply, pcap = arp_demo.mac, arp_demo.ip, arp_demo.arp_reply, arp_demo.pcap
HOST_IP, HOST_MAC = arp_demo.HOST_IP, arp_demo.HOST_MAC
GATEWAY_IP, GATEWAY_MAC = arp_demo.GATEWAY_IP, arp_demo.GATEWAY_MAC
SERVER_IP, SERVER_MAC = "10.77.0.2", "02:77:00:00:00:02"
ROGUE_IP, ROGUE_MAC = "10.77.0.66", "02:77:00:00:00:66"
ROGUE_GATEWAY_IP = "10.77.0.254"
EMPTY_IP, EMPTY_MAC = "10.77.0.99", "02:77:00:00:00:99"


def checksum(header):
    total = sum(struct.unpack("!%dH" % (len(header) // 2), header))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def dhcp_offer(server_mac, server_ip, yiaddr, routers):
    """A DHCPOFFER from port 67 to port 68, unicast to this host."""
    options = bytes([53, 1, 2]) + bytes([54, 4]) + ip(server_ip)
    options += bytes([1, 4]) + ip("255.255.255.0")
    if routers:
        options += bytes([3, 4 * len(routers)]) + b"".join(ip(r) for r in routers)
    options += bytes([51, 4]) + struct.pack("!I", 3600) + bytes([255])
    dhcp = struct.pack("!BBBBIHH", 2, 1, 6, 0, 0x7E5D0001, 0, 0)
    dhcp += ip("0.0.0.0") + ip(yiaddr) + ip(server_ip) + ip("0.0.0.0")
    dhcp += mac(HOST_MAC) + b"\x00" * 10 + b"\x00" * 64 + b"\x00" * 128
    dhcp += bytes([99, 130, 83, 99]) + options
    udp = struct.pack("!HHHH", 67, 68, 8 + len(dhcp), 0) + dhcp
    destination = yiaddr if yiaddr != "0.0.0.0" else "255.255.255.255"
    header = struct.pack("!BBHHHBBH", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, 17, 0) + ip(server_ip) + ip(destination)
    header = header[:10] + struct.pack("!H", checksum(header)) + header[12:]
    return mac(HOST_MAC) + mac(server_mac) + struct.pack("!H", 0x0800) + header + udp


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "dhcp-demo.pcap")
    records = [
        (0.0, dhcp_offer(SERVER_MAC, SERVER_IP, HOST_IP, [GATEWAY_IP])),
        (0.6, arp_reply(GATEWAY_MAC, GATEWAY_IP)),
        (1.0, dhcp_offer(ROGUE_MAC, ROGUE_IP, HOST_IP, [ROGUE_GATEWAY_IP])),
        (1.5, dhcp_offer(EMPTY_MAC, EMPTY_IP, "0.0.0.0", [GATEWAY_IP])),
    ]
    with open(target, "wb") as f:
        f.write(pcap(records))
    print("wrote", target, "with", len(records), "frames")


if __name__ == "__main__":
    main()
