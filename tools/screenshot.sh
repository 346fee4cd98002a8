#!/usr/bin/env bash
# Takes the README's picture: Corvane after a first search against the sample
# target, with the process list open, on a private Xvfb.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/setup.sh
. tools/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target corvane-demo sample_target

export DISPLAY=:88
Xvfb "$DISPLAY" -screen 0 1200x760x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$demo" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true; kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
"$WINE" build/windows/tools/corvane-demo.exe &
demo=$!
sleep 10
import -window root docs/corvane-screenshot.png
echo "written: docs/corvane-screenshot.png"
