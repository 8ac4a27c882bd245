#!/usr/bin/env bash
# The probing test against a spoofer, with guard.repair_cache on.
AW_REPAIR_CACHE=true exec bash "$(dirname "$0")/test_arpwatch_mode1_spoof.sh" "$@"
