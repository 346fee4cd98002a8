#!/usr/bin/env bash
# Runs one Windows test program under Wine (tools/wine-run.sh) and fails it
# unless it printed GoogleTest's closing summary: a program that Wine ends
# partway may still leave with exit code 0.
set -uo pipefail
out=$(mktemp)
"$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}
if [ "$rc" -eq 0 ] && ! grep -qE '^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran' "$out"; then
    echo "the test program ended without its summary"
    rc=1
fi
rm -f "$out"
exit "$rc"
