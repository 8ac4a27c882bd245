#!/usr/bin/env python3
"""The lab's IPv6 attack frames in hex (for frame_inject), built as the IPv6
demo builds them, from the attacker fe80::66 (02:77:06:00:00:66).

  ipv6guard_frame.py na   a neighbour advertisement: fe80::1 is at the
                          attacker's MAC (unsolicited, override)
  ipv6guard_frame.py ra   a router advertisement of the attacker,
                          prefix fd77:66::/64
"""
import os
import runpy
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
demo = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "../../examples/ipv6-make-demo.py")))

FRAMES = {
    "na": lambda: demo.neighbour_advert(demo.ROGUE_MAC, demo.ROGUE_IP, demo.ROUTER_IP, demo.ROGUE_MAC),
    "ra": lambda: demo.router_advert(demo.ROGUE_MAC, demo.ROGUE_IP, "fd77:66::"),
}

if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in FRAMES:
        sys.exit("usage: ipv6guard_frame.py na|ra")
    print(FRAMES[sys.argv[1]]().hex())
