#!/usr/bin/env bash
# The short run of scripts/flood.sh: each flood for 5 seconds (the README's
# figures come from the full run). Exit 77 without root or a tool.
exec bash "$(dirname "$0")/../../scripts/flood.sh" "${1:-}" --seconds 5
