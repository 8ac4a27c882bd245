#!/usr/bin/env python3
"""Writes arp-demo.pcap: a gateway spoofed on a small segment.

Segment 10.77.0.0/24: this host 10.77.0.10 (02:77:00:00:00:0a), the gateway
10.77.0.1 (02:77:00:00:00:01), a spoofer (02:77:00:00:00:66).

  0.0 s  the gateway answers this host (its real MAC: nothing to see)
  0.5 s  the spoofer tells this host "10.77.0.1 is at 02:77:00:00:00:66"
  1.0 s  a frame with the probe marker claiming the gateway for
         02:77:00:00:00:77: ignored, whatever it says
  2.0 s  the gateway answers again from its real MAC, as it would answer
         the probe request that the plug-in sent at about 0.9 s

Usage: python3 make-demo.py [output.pcap]   (default: arp-demo.pcap beside
this script). Only the standard library is used; the output is byte-for-byte
reproducible.
"""
import os
import struct
import sys

HOST_IP, HOST_MAC = "10.77.0.10", "02:77:00:00:00:0a"
GATEWAY_IP, GATEWAY_MAC = "10.77.0.1", "02:77:00:00:00:01"
SPOOFER_MAC = "02:77:00:00:00:66"
MARKED_MAC = "02:77:00:00:00:77"
PROBE_MARKER = b"KivoHarborProbe" + b"\x00" * 3
START = 1767225600  # capture time stamps start here (fixed: reproducible)


def mac(text):
    return bytes(int(part, 16) for part in text.split(":"))


def ip(text):
    return bytes(int(part) for part in text.split("."))


def arp_reply(sender_mac, sender_ip, padding=b"\x00" * 18):
    """An ARP reply to this host, 60 bytes (no frame check sequence)."""
    eth = mac(HOST_MAC) + mac(sender_mac) + struct.pack("!H", 0x0806)
    body = struct.pack("!HHBBH", 1, 0x0800, 6, 4, 2)
    body += mac(sender_mac) + ip(sender_ip) + mac(HOST_MAC) + ip(HOST_IP)
    frame = eth + body + padding
    assert len(frame) == 60
    return frame


def pcap(records):
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)  # Ethernet
    for seconds, frame in records:
        whole, micro = int(seconds), int(round((seconds - int(seconds)) * 1e6))
        out += struct.pack("<IIII", START + whole, micro, len(frame), len(frame)) + frame
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "arp-demo.pcap")
    records = [
        (0.0, arp_reply(GATEWAY_MAC, GATEWAY_IP)),
        (0.5, arp_reply(SPOOFER_MAC, GATEWAY_IP)),
        (1.0, arp_reply(MARKED_MAC, GATEWAY_IP, PROBE_MARKER)),
        (2.0, arp_reply(GATEWAY_MAC, GATEWAY_IP)),
    ]
    with open(target, "wb") as f:
        f.write(pcap(records))
    print("wrote", target, "with", len(records), "frames")


if __name__ == "__main__":
    main()
