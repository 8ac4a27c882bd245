#!/usr/bin/env bash
# The probing test of a gateway that moved, with guard.repair_cache on.
AW_REPAIR_CACHE=true exec bash "$(dirname "$0")/test_arpwatch_mode1_moved.sh" "$@"
