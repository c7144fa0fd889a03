#!/usr/bin/env bash
# Quality gates that CI runs after the test suite:
#   asan   everything built with AddressSanitizer and UndefinedBehaviorSanitizer, then the
#          whole test suite (unit, window, engine and end-to-end tests) run on that build, and
#          a minute of the monkey (bench/monkey.sh; MONKEY_SECONDS, MONKEY_SEED to change it)
#   tidy   clang-tidy with the checks of .clang-tidy over our sources
# Any finding fails the run. Both gates run by default; name one to run only that one.
#   scripts/quality_gates.sh [asan] [tidy]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

gates=("$@")
[ ${#gates[@]} -gt 0 ] || gates=(asan tidy)
for g in "${gates[@]}"; do
    case "$g" in
    asan | tidy) ;;
    *)
        echo "usage: $0 [asan] [tidy]" >&2
        exit 2
        ;;
    esac
done

. scripts/debian_packages.sh
install_missing "${build_packages[@]}" "${test_packages[@]}" clang-tidy

jobs=$(nproc)
failed=()
timings=()

took() { timings+=("$(printf '%-16s %4d s' "$1" "$2")"); }

asan_gate() {
    local build=build-asan
    local logs=$root/$build/sanitizer-logs
    local t0=$SECONDS
    # -O1: the usual level for sanitizer builds, quick to build and still fast to run.
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
        -DMARROWTUNE_WERROR=ON -DMARROWTUNE_SANITIZE=ON -DMARROWTUNE_BENCH=OFF \
        -DMARROWTUNE_MONKEY=ON >/dev/null
    local built=0
    cmake --build "$build" -j"$jobs" && built=1
    took "asan build" $((SECONDS - t0))
    if [ "$built" -eq 0 ]; then
        failed+=("asan build")
        return
    fi

    t0=$SECONDS
    rm -rf "$logs"
    mkdir -p "$logs"
    # Reports go to files named after the program: the end-to-end tests start the player in
    # the background, where nothing else would see what it says when it exits.
    local common="log_path=$logs/report:log_exe_name=1"
    local asan_options="detect_leaks=1:halt_on_error=1:check_initialization_order=1:$common"
    local sanitizers=(
        ASAN_OPTIONS="$asan_options"
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:$common"
        LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
    )
    local ok=1
    env "${sanitizers[@]}" ctest --test-dir "$build" --output-on-failure --timeout 600 || ok=0
    took "asan tests" $((SECONDS - t0))

    # Random presses on the real window and engine find what no written test thought of; a
    # crash, a hang or a run in which nothing ever played fails, and so does any report below.
    t0=$SECONDS
    local rows=$build/monkey.rows
    # A desktop that did not come up is tried once more.
    local monkey=0
    for _ in 1 2; do
        monkey=0
        # An abort in a library (an assertion of the sound server's client, say) tells its stack too.
        env "${sanitizers[@]}" ASAN_OPTIONS="$asan_options:handle_abort=1" CI="${CI:-}" \
            MONKEY_LOG="$root/$build/monkey.log" bash bench/monkey.sh "$build/bench/bench_monkey" \
            "${MONKEY_SECONDS:-60}" ${MONKEY_SEED:+"$MONKEY_SEED"} >"$rows" || monkey=$?
        [ "$monkey" -eq 77 ] || break
    done
    column -t -s $'\t' "$rows"
    if [ "$monkey" -ne 0 ] || ! grep -q $'^monkey: what was done.*\tok$' "$rows"; then
        echo "monkey: FAILED (exit $monkey)"
        failed+=("asan monkey")
    fi
    took "asan monkey" $((SECONDS - t0))
    # LeakSanitizer names the threads it could not stop because they were ending as the
    # program exited, then goes on with its check: a report of nothing else is no finding.
    local f
    for f in "$logs"/report.*; do
        if [ -e "$f" ] && ! grep -vq 'was not suspended\. False leaks are possible\.$' "$f"; then
            echo "sanitizer: only threads ending at exit, from ${f##*/report.}"
            rm "$f"
        fi
    done
    local reports=("$logs"/report.*)
    if [ -e "${reports[0]}" ]; then
        ok=0
        for f in "${reports[@]}"; do
            echo "==== ${f##*/report.}"
            cat "$f"
        done
    fi
    [ "$ok" -eq 1 ] || failed+=("asan tests")
}

tidy_gate() {
    local build=build-tidy
    local t0=$SECONDS
    # The tests include their generated .moc files, so those are made first; nothing else is
    # built.
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWTUNE_BENCH=OFF \
        -DCMAKE_GLOBAL_AUTOGEN_TARGET=ON >/dev/null
    cmake --build "$build" --target autogen -j"$jobs" >/dev/null
    # Our sources only: the generated moc files are not ours to tidy.
    local ok=1
    run-clang-tidy -p "$build" -quiet -j"$jobs" "^$root/(app|playback|playlist|tests)/" \
        >"$build/tidy.log" 2>&1 || ok=0
    # Without the colours and the counts of warnings in Qt's headers that were not shown.
    sed -e 's/\x1b\[[0-9;]*m//g' "$build/tidy.log" |
        grep -v -E '^[0-9]+ warnings?( and [0-9]+ errors?)? generated\.$' || true
    took "clang-tidy" $((SECONDS - t0))
    [ "$ok" -eq 1 ] || failed+=("clang-tidy")
}

for g in "${gates[@]}"; do
    echo "==== $g"
    "${g}_gate"
done

echo "==== timings"
printf '%s\n' "${timings[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "all gates passed"
