#!/usr/bin/env bash
# Builds and runs every test: the portable engine natively under ASan+UBSan
# and under TSan, the fuzz targets for a while each, then the Windows
# executables under Wine. Ends with one summary line over all suites; exits
# non-zero when anything failed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

passed=0
failed=0
status=0
times=()
# Names of what failed, repeated in the closing lines: a CI log keeps only
# its tail.
failures=()
started=$SECONDS
# Each stage's time goes into the closing lines.
stage_time() { times+=("$1 $(($SECONDS - $2)) s"); }

mark=$SECONDS
# The suite has a Wine prefix of its own, set up for tests (below).
export WINEPREFIX="${CORVANE_TEST_WINEPREFIX:-$HOME/.wine-corvane-tests}"
bash tools/setup.sh || exit 1
stage_time installs "$mark"
. tools/wine-env.sh

# The fuzz stage: every libFuzzer target of tests/fuzz runs for
# CORVANE_FUZZ_SECONDS (20) on its seed corpus and the inputs that once
# failed. A crash, a sanitizer report or a broken property fails that target
# and prints the failing input in hex. Each target counts as one test.
# The fuzzers are built before the Windows stage and run beside its tests,
# which mostly wait for Wine; `tools/test.sh --fuzz-only` runs them alone.
fuzz_reports=""
fuzz_build() {
    echo "=== native-fuzz ==="
    if ! command -v clang++ >/dev/null 2>&1; then
        echo "fuzz stage skipped: clang++ is not installed"
        return 1
    fi
    if ! cmake --preset native-fuzz >build-native-fuzz.log 2>&1; then
        cat build-native-fuzz.log
        echo "configure failed: native-fuzz"; status=1; failed=$((failed + 1)); failures+=("configure native-fuzz"); return 1
    fi
    rm -f build-native-fuzz.log
    if ! cmake --build --preset native-fuzz -- -k 0; then
        echo "build failed: native-fuzz"; status=1; failed=$((failed + 1)); failures+=("build native-fuzz"); return 1
    fi
    fuzz_reports=$(mktemp -d)
}

# Two fuzzers at a time, one a core, each for the same time, at a low
# priority so that tests running beside them keep theirs; each writes its
# report to the folder. (Only these two are waited for: the Xvfb is a job of
# this shell too.)
fuzz_run() {
    local seconds=${CORVANE_FUZZ_SECONDS:-20} source target pair=()
    for source in tests/fuzz/*_fuzz.cpp; do
        target=$(basename "$source" _fuzz.cpp)
        fuzz_one "$target" "$seconds" >"$fuzz_reports/$target" 2>&1 &
        pair+=($!)
        if [ "${#pair[@]}" -eq 2 ]; then wait "${pair[@]}"; pair=(); fi
    done
    [ "${#pair[@]}" -eq 0 ] || wait "${pair[@]}"
}

# The reports, in order, and the count.
fuzz_tally() {
    local source target
    echo "=== native-fuzz reports ==="
    for source in tests/fuzz/*_fuzz.cpp; do
        target=$(basename "$source" _fuzz.cpp)
        cat "$fuzz_reports/$target"
        if grep -q "^fuzz $target: passed" "$fuzz_reports/$target"; then
            passed=$((passed + 1))
        else
            status=1; failed=$((failed + 1)); failures+=("fuzz $target")
        fi
    done
    rm -rf "$fuzz_reports"
    fuzz_reports=""
}

# Runs one fuzz target and prints its verdict, "fuzz NAME: passed" first on a
# line when it passed.
fuzz_one() {
    local target=$1 seconds=$2 fuzzer work dirs runs artifact
    fuzzer=build/native-fuzz/tests/fuzz_$target
    if [ ! -x "$fuzzer" ]; then
        echo "fuzz $target: FAILED (not built)"; return
    fi
    work=$(mktemp -d)
    mkdir "$work/corpus"
    # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
    dirs=("$work/corpus")
    for dir in "tests/fuzz/corpus/$target" "tests/fuzz/regressions/$target"; do
        [ -d "$dir" ] && dirs+=("$dir")
    done
    if UBSAN_OPTIONS=print_stacktrace=1 nice -n 15 "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/" "${dirs[@]}" >"$work/log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
        echo "fuzz $target: passed, ${runs:-?} inputs in ${seconds} s"
    else
        echo "fuzz $target: FAILED"
        grep -vE '^(#[0-9]|INFO:|\s+NEW_FUNC)' "$work/log" | tail -n 80
        for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
            [ -f "$artifact" ] || continue
            echo "failing input ${artifact##*/} ($(stat -c %s "$artifact") bytes), hex:"
            od -An -tx1 -v "$artifact"
        done
        echo "keep it as tests/fuzz/regressions/$target/<name> once it is fixed"
    fi
    rm -rf "$work"
}

if [ "${1:-}" = "--fuzz-only" ]; then
    fuzz_build && fuzz_run && fuzz_tally
    [ "${#failures[@]}" -eq 0 ] || printf 'failed: %s\n' "${failures[@]}"
    echo "Corvane: $passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
    exit
fi
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
# No window manager runs on the private display, and Wine waits two seconds
# for one to answer each time a managed top-level window is hidden or
# destroyed; unmanaged windows skip that wait (every window test pays it).
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k >/dev/null 2>&1 || true; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT

# The engine's rooms keep their order (tools/check_layers.py): one test.
echo "=== layers ==="
if python3 tools/check_layers.py; then
    passed=$((passed + 1))
else
    status=1; failed=$((failed + 1)); failures+=(layers)
fi

# What each stage builds: all of it natively (the bench and the command line
# included), only the tests whose code runs on several threads under TSan
# (the preset names them), and the tests and the program for Windows.
declare -A targets=([native]="" [native-tsan]="" [windows]="corvane_tests Corvane")

fuzz_pid=""
for preset in native native-tsan fuzz windows; do
    mark=$SECONDS
    if [ "$preset" = fuzz ]; then fuzz_build; stage_time "fuzz build" "$mark"; continue; fi
    echo "=== $preset ==="
    if ! cmake --preset "$preset" >"build-$preset.log" 2>&1 && ! cmake --preset "$preset"; then
        echo "configure failed: $preset"; status=1; failed=$((failed + 1)); failures+=("configure $preset"); continue
    fi
    rm -f "build-$preset.log"
    build_targets=()
    for t in ${targets[$preset]}; do build_targets+=(--target "$t"); done
    if ! cmake --build --preset "$preset" "${build_targets[@]}" -- -k 0; then
        echo "build failed: $preset"; status=1; failed=$((failed + 1)); failures+=("build $preset"); continue
    fi
    keeper=""
    if [ "$preset" = windows ] && [ -n "$fuzz_reports" ]; then
        fuzz_run &
        fuzz_pid=$!
    fi
    if [ "$preset" = windows ]; then
        # Holds Wine's desktop for the whole suite, away from ctest's pipes
        # (see tests/win32/desktop_keeper.cpp).
        "$WINE" build/windows/tests/desktop_keeper.exe >/dev/null 2>&1 </dev/null &
        keeper=$!
    fi
    log=$(mktemp)
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    [ -z "$keeper" ] || kill "$keeper" 2>/dev/null || true
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    # ctest's closing list: "  12 - name (Failed)".
    while read -r name; do failures+=("$preset $name"); done < <(
        sed -n '/The following tests FAILED:/,$s/^[[:space:]]*[0-9]\+ - \([^ ]*\) .*/\1/p' "$log")
    rm -f "$log"
    if [ -z "$summary" ]; then
        echo "no test summary: $preset"; status=1; failed=$((failed + 1)); failures+=("$preset: no summary"); continue
    fi
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + t - f))
    failed=$((failed + f))
    stage_time "$preset" "$mark"
done

# Beside the Windows tests, or alone when those could not be built.
mark=$SECONDS
if [ -n "$fuzz_pid" ]; then
    wait "$fuzz_pid"
elif [ -n "$fuzz_reports" ]; then
    fuzz_run
fi
[ -z "$fuzz_reports" ] || fuzz_tally
stage_time "fuzz after" "$mark"

stage_time total "$started"
echo "stage times: $(IFS=,; echo "${times[*]}" | sed 's/,/, /g')"
[ "${#failures[@]}" -eq 0 ] || printf 'failed: %s\n' "${failures[@]}"
echo "Corvane: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
