#!/usr/bin/env bash
# Fuzzes the list-file readers (saved lists, M3U, PLS) and writer for SECONDS (default 60).
#   fuzz/run.sh [SECONDS]
# Installs clang and libFuzzer when missing, builds fuzz/list_file_fuzzer.cpp with ASan and UBSan
# into build-fuzz/, then fuzzes a scratch copy of fuzz/corpus so the repository is never changed
# (how fast the readers take a megabyte of their worst cases is for bench/list_scale). Exits
# non-zero on any crash, broken invariant, leak, timeout or memory blow-up; the input that caused
# it is kept in build-fuzz/findings/.
# MAX_LEN (default 65536) sets the largest input the fuzzer tries; when it is set, inputs of any
# length up to it are tried from the start rather than growing slowly from the seeds' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
max_len=${MAX_LEN:-65536}
len_control=()
[ -z "${MAX_LEN:-}" ] || len_control=(-len_control=0)
case "$seconds" in
'' | *[!0-9]*)
    echo "usage: $0 [SECONDS]" >&2
    exit 2
    ;;
esac

. scripts/debian_packages.sh
install_missing clang libclang-rt-dev qt6-base-dev pkg-config

build="build-fuzz"
fuzzer=$build/list_file_fuzzer
sources=(fuzz/list_file_fuzzer.cpp playlist/list_file.cpp playlist/list_formats.cpp
    playlist/list_readers.cpp)
mkdir -p "$build/findings"
stale=0
[ -x "$fuzzer" ] || stale=1
for f in "${sources[@]}" playlist/list_file.h playlist/list_formats.h playlist/list_readers.h \
    fuzz/run.sh; do
    if [ "$f" -nt "$fuzzer" ]; then stale=1; fi
done
if [ "$stale" -eq 1 ]; then
    echo "Building $fuzzer"
    # Qt's headers as system headers, as CMake does, so their warnings do not count as ours.
    read -r -a qt_cflags <<<"$(pkg-config --cflags Qt6Core | sed 's/-I/-isystem /g')"
    read -r -a qt_libs <<<"$(pkg-config --libs Qt6Core)"
    clang++ -std=c++20 -g -O1 -fPIC \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -Wall -Wextra -Wpedantic -Werror \
        -I. "${qt_cflags[@]}" "${sources[@]}" "${qt_libs[@]}" -o "$fuzzer.new"
    mv "$fuzzer.new" "$fuzzer"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp fuzz/corpus/* "$work/corpus/"

status=0
echo "Fuzzing for $seconds s (max_len $max_len)"
"$fuzzer" "$work/corpus" -max_total_time="$seconds" -max_len="$max_len" "${len_control[@]}" \
    -timeout=2 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/" || status=$?

if [ "$status" -ne 0 ]; then
    echo "Fuzzing found a problem; reproducer(s) in $build/findings/:" >&2
    ls -l "$build/findings" >&2
    echo "Re-run one with: $fuzzer <file>" >&2
fi
exit "$status"
