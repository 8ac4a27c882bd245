#!/usr/bin/env bash
# The binding test with the spoofer's claims priority-tagged (802.1Q, VLAN
# 0): the kernel takes such a frame as untagged, and so must the plug-in.
LAB_VLAN=0 exec bash "$(dirname "$0")/test_arpwatch_mode2_bind.sh" "$@"
