#!/usr/bin/env bash
# The DHCP alarm window on a private X server (see tests/gui).
exec bash "$(dirname "$0")/../gui/test_dhcp_alarm_window.sh" "$@"
