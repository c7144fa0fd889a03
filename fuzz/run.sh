#!/usr/bin/env bash
# Fuzzes for SECONDS (default 60), shared evenly by the targets:
#   list_file_fuzzer  the list-file readers (saved lists, M3U, PLS) and writer, from fuzz/corpus
#   mp3_fuzzer        an MP3 file's tags and frame count, from the MP3 files of tests/fixtures
#   fuzz/run.sh [SECONDS]
# Installs clang and libFuzzer when missing, builds the targets with ASan and UBSan into
# build-fuzz/ (fuzz/CMakeLists.txt), then fuzzes scratch copies of the seeds so the repository is
# never changed (how fast the readers take a megabyte of their worst cases is for
# bench/list_scale). Exits non-zero on any crash, broken invariant, leak, timeout or memory
# blow-up; the input that caused it is kept in build-fuzz/findings/, named after its target.
# MAX_LEN (default 65536) sets the largest input the fuzzer tries; when it is set, inputs of any
# length up to it are tried from the start rather than growing slowly from the seeds' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
max_len=${MAX_LEN:-65536}
len_control=()
[ -z "${MAX_LEN:-}" ] || len_control=(-len_control=0)
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

. scripts/debian_packages.sh
install_missing clang libclang-rt-dev "${build_packages[@]}"

build=build-fuzz
targets=(list_file_fuzzer mp3_fuzzer)
# Only the targets are built; the rest of the project is only configured.
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWTUNE_WERROR=ON \
    -DMARROWTUNE_FUZZ=ON -DMARROWTUNE_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# In memory when it can be: the MP3 target writes each input to a file there, twice as fast as
# to a disk.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/findings" "$work/list_file_fuzzer" "$work/mp3_fuzzer"
cp fuzz/corpus/* "$work/list_file_fuzzer/"
cp tests/fixtures/*.mp3 "$work/mp3_fuzzer/"

status=0
each=$(((seconds + ${#targets[@]} - 1) / ${#targets[@]})) # 0 would fuzz for ever
for target in "${targets[@]}"; do
    echo "Fuzzing $target for $each s (max_len $max_len)"
    # The fuzzer's running commentary goes to a file: in a CI log it would bury what failed.
    log=$build/$target.log
    ok=0
    TMPDIR=$work "$build/fuzz/$target" "$work/$target" -max_total_time="$each" \
        -max_len="$max_len" "${len_control[@]}" -timeout=2 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1 || ok=$?
    if [ "$ok" -ne 0 ]; then
        status=$ok
        tail -n 60 "$log"
    else
        grep -E '^(Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$log" || true
    fi
done

if [ "$status" -ne 0 ]; then
    echo "Fuzzing found a problem; reproducer(s) in $build/findings/:" >&2
    ls -l "$build/findings" >&2
    echo "Re-run one with: $build/fuzz/<target> <file>" >&2
fi
exit "$status"
