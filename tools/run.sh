#!/usr/bin/env bash
# Sets up the machine if needed, builds the Windows programs and runs Corvane
# under Wine next to the bundled 64-bit sample target, which shows a window of
# its own with what to search for. Without a display, both run on a private
# Xvfb and a screenshot is written to corvane-screenshot.png instead.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/setup.sh
. tools/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Corvane sample_target

headless=""
if [ -z "${DISPLAY:-}" ]; then
    command -v Xvfb >/dev/null || { echo "Xvfb is missing: run tools/setup.sh" >&2; exit 1; }
    export DISPLAY=:89
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    headless=1
    sleep 1
fi

pids=()
hold=$(mktemp -d)
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wineserver -k >/dev/null 2>&1 || true
    # Wine's own processes may hold this script's output open: a run through
    # a pipe ends only when they have gone.
    timeout 20 wineserver -w >/dev/null 2>&1 || true
    [ -n "$headless" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$hold"
}
trap cleanup EXIT

# The sample target ends at the end of its input. Its input is a FIFO that
# this script holds open for writing, with no process of its own to outlive
# the script: when the script ends, so does the input.
mkfifo "$hold/input"
exec {input}<>"$hold/input"
"$WINE" build/windows/tools/sample_target.exe --window <"$hold/input" >/dev/null 2>&1 &
pids+=($!)
sleep 2
"$WINE" build/windows/app/Corvane.exe >/dev/null 2>&1 &
corvane=$!
pids+=($corvane)

if [ -n "$headless" ]; then
    sleep 8
    if command -v import >/dev/null; then
        import -window root corvane-screenshot.png
        echo "No display: Corvane ran under Xvfb; screenshot written to corvane-screenshot.png"
    else
        echo "No display: Corvane ran under Xvfb (install imagemagick for a screenshot)"
    fi
else
    echo "Press 选择进程 and choose sample_target.exe (or drag the crosshair onto its window), then search."
    wait "$corvane" || true
fi
