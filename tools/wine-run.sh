#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's prefix and code page.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec "$WINE" "$@"
