#!/usr/bin/env bash
# Builds and runs every test: the portable engine natively under ASan+UBSan
# and under TSan, then the Windows executables under Wine. Ends with one
# summary line over all suites; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/setup.sh || exit 1
. tools/wine-env.sh

passed=0
failed=0
status=0
# The window tests need a display; a private Xvfb serves when there is none.
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 99); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
    done
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY="$display"
    sleep 1
fi

# Keep one wineserver, and Wine's own services, up for the whole Windows
# suite instead of starting them per test. Started here, away from ctest's
# output pipes: services that inherited them would keep ctest waiting forever.
wineserver -p >/dev/null 2>&1 || true
"$WINE" wineboot >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT

for preset in native native-tsan windows; do
    echo "=== $preset ==="
    if ! cmake --preset "$preset" >"build-$preset.log" 2>&1 && ! cmake --preset "$preset"; then
        echo "configure failed: $preset"; status=1; failed=$((failed + 1)); continue
    fi
    rm -f "build-$preset.log"
    if ! cmake --build --preset "$preset" -- -k 0; then
        echo "build failed: $preset"; status=1; failed=$((failed + 1)); continue
    fi
    log=$(mktemp)
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    rm -f "$log"
    if [ -z "$summary" ]; then
        echo "no test summary: $preset"; status=1; failed=$((failed + 1)); continue
    fi
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + t - f))
    failed=$((failed + f))
done

echo "Corvane: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
