#!/usr/bin/env bash
# The short run of scripts/durability.sh: one round of three SIGKILLs while
# reports are queued, one of three SIGKILLs while a queue of 60 reports is
# delivered, and some forty damaged archives (the README's figures come from
# the full run).
exec bash "$(dirname "$0")/../../scripts/durability.sh" "${1:?usage: test_hardening_durability.sh BIN}" \
  --rounds 1 --kills 3 --queue 60 --damaged 40
