#!/usr/bin/env bash
# The share of test lines in the project: non-blank lines of tests/ and
# fuzz/ over the non-blank lines of every C++ and shell file the repository
# tracks (.cpp .cc .h .hpp .sh), both counted from `git ls-files`.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  # Non-blank lines of the tracked C++ and shell files under the given paths.
  git ls-files -z -- "$@" | grep -zE '\.(cpp|cc|h|hpp|sh)$' | xargs -0r cat | grep -cv '^[[:space:]]*$' || true
}

tests=$(count tests fuzz)
all=$(count .)
echo "tests/ and fuzz/: $tests non-blank lines"
echo "whole project:    $all non-blank lines (.cpp .cc .h .hpp .sh)"
awk -v t="$tests" -v a="$all" 'BEGIN { printf "test share:       %.3f\n", t / a }'
