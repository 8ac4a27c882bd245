#!/usr/bin/env python3
"""Writes dhcp-servers-demo.pcap: a rogue DHCP server that names itself as
the gateway, beside the legitimate one.

Segment 10.77.0.0/24 as in dhcp-make-demo.py: this host 10.77.0.10
(02:77:00:00:00:0a), the legitimate DHCP server 10.77.0.2
(02:77:00:00:00:02) with gateway 10.77.0.1, and a rogue server 10.77.0.66
(02:77:00:00:00:66) whose offers name 10.77.0.66 as the gateway.

  0.0 s  the legitimate server offers 10.77.0.10 (broadcast)
  0.2 s  the legitimate server acknowledges it (unicast)
  0.5 s  the rogue server offers 10.77.0.10, gateway 10.77.0.66 (broadcast)
  0.7 s  the rogue server acknowledges it (unicast)

Usage: python3 dhcp-servers-make-demo.py [output.pcap]   (default:
dhcp-servers-demo.pcap beside this script). Standard library only; the
output is byte-for-byte reproducible.
"""
import os
import runpy
import struct
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
demo = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "dhcp-make-demo.py")))
mac, ip, checksum, pcap = demo.mac, demo.ip, demo.checksum, demo.pcap

BROADCAST_MAC = "ff:ff:ff:ff:ff:ff"
OFFER, ACK = 2, 5


def dhcp_answer(msg_type, server_mac, server_ip, gateway_ip, broadcast):
    """A DHCPOFFER or DHCPACK from port 67 to port 68 for this host."""
    options = bytes([53, 1, msg_type]) + bytes([54, 4]) + ip(server_ip)
    options += bytes([1, 4]) + ip("255.255.255.0") + bytes([3, 4]) + ip(gateway_ip)
    options += bytes([51, 4]) + struct.pack("!I", 3600) + bytes([255])
    flags = 0x8000 if broadcast else 0
    dhcp = struct.pack("!BBBBIHH", 2, 1, 6, 0, 0x7E5D0002, 0, flags)
    dhcp += ip("0.0.0.0") + ip(demo.HOST_IP) + ip(server_ip) + ip("0.0.0.0")
    dhcp += mac(demo.HOST_MAC) + b"\x00" * (10 + 64 + 128)
    dhcp += bytes([99, 130, 83, 99]) + options
    udp = struct.pack("!HHHH", 67, 68, 8 + len(dhcp), 0) + dhcp
    destination = "255.255.255.255" if broadcast else demo.HOST_IP
    header = struct.pack("!BBHHHBBH", 0x45, 0, 20 + len(udp), 0, 0x4000, 64, 17, 0) + ip(server_ip) + ip(destination)
    header = header[:10] + struct.pack("!H", checksum(header)) + header[12:]
    eth_dst = BROADCAST_MAC if broadcast else demo.HOST_MAC
    return mac(eth_dst) + mac(server_mac) + struct.pack("!H", 0x0800) + header + udp


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "dhcp-servers-demo.pcap")
    server = (demo.SERVER_MAC, demo.SERVER_IP, demo.GATEWAY_IP)
    rogue = (demo.ROGUE_MAC, demo.ROGUE_IP, demo.ROGUE_IP)
    records = [
        (0.0, dhcp_answer(OFFER, *server, True)),
        (0.2, dhcp_answer(ACK, *server, False)),
        (0.5, dhcp_answer(OFFER, *rogue, True)),
        (0.7, dhcp_answer(ACK, *rogue, False)),
    ]
    with open(target, "wb") as f:
        f.write(pcap(records))
    print("wrote", target, "with", len(records), "frames")


if __name__ == "__main__":
    main()
