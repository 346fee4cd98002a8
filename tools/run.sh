#!/usr/bin/env bash
# Sets up the machine if needed, builds the Windows programs and runs the
# program's main job under Wine against the bundled 64-bit sample target.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/setup.sh
. tools/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target traverse_demo sample_target
exec "$WINE" build/windows/tools/traverse_demo.exe
