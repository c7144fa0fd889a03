#!/usr/bin/env bash
# A monkey run on a private desktop (Xvfb, openbox, a session bus, a sound server with a null
# sink): bench_monkey presses the real player at random for SECONDS (600 unless told) with
# the given SEED (a new one unless told), on the test files and on broken ones made here,
# while this script kills the sound server (SIGKILL) twice at random moments and starts it
# again. The monkey runs as a child of this script, so a crash is seen and told with its seed.
# Output: the monkey's tab-separated rows (figure, measured, reference, target, verdict), then
# whether it crashed and when the sound server was killed. The monkey's own log (every press,
# every box it answered) goes to MONKEY_LOG, /tmp/marrowtune-monkey.SEED.log unless told.
# Exit status: 0 when the monkey ran to its end, 1 when it crashed or hung, 77 when the
# desktop did not come up.
# The sound server is the one desktop_session.sh's start_sound starts; SOUND_SERVER asks it
# for one (pipewire unless told, pulseaudio the other choice).
# usage: monkey.sh BENCH_MONKEY [SECONDS] [SEED]
monkey=$1
seconds=${2:-600}
seed=${3:-$((($(date +%s%N) / 1000) % 1000000000))}
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../tests/fixtures
export SOUND_SERVER=${SOUND_SERVER:-pipewire}
# shellcheck source=../scripts/desktop_session.sh
. "$here/../scripts/desktop_session.sh"
log=${MONKEY_LOG:-/tmp/marrowtune-monkey.$seed.log}

need gst-launch-1.0 pactl
start_display
start_window_manager
start_buses
# What a screen reader costs is not the monkey's to measure.
unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_ACCESSIBILITY

row() { printf '%s\t%s\t%s\t%s\t%s\n' "$@"; }
note() { echo "monkey.sh: $*" >&2; }

# The processes the sound server is made of, whichever it is: everything start_sound left
# running under this shell, and what those started in turn.
children() { ps -o pid= --ppid "$1" 2>/dev/null | tr -d ' '; }
descendants() {
    local p
    for p in $(children "$1"); do
        echo "$p"
        descendants "$p"
    done
}
sound_pids=()
start_sound_server() {
    local before after p below
    before=" $(children $$ | tr '\n' ' ') "
    start_sound
    after=$(children $$)
    sound_pids=()
    for p in $after; do
        case "$before" in *" $p "*) continue ;; esac
        # Not the command substitutions that listed them, which are gone by now.
        kill -0 "$p" 2>/dev/null && [ "$(ps -o comm= -p "$p")" != bash ] || continue
        mapfile -t below < <(descendants "$p")
        sound_pids+=("$p" "${below[@]}")
    done
    server=$(pactl info 2>/dev/null | sed -n 's/^Server Name: //p')
    note "sound server up: ${server:-unknown} (processes ${sound_pids[*]})"
}
kill_sound_server() {
    kill -KILL "${sound_pids[@]}" 2>/dev/null || true
    for p in "${sound_pids[@]}"; do
        wait "$p" 2>/dev/null || true
    done
}
start_sound_server

# ---- the files: the test files, broken ones beside them, and lists of both ----
media=$session_dir/monkey
mkdir -p "$media/lists"
cp "$fixtures"/*.mp3 "$fixtures"/*.wav "$fixtures"/*.ogg "$media/"
: >"$media/empty.mp3"
head -c 65536 /dev/zero >"$media/zeros.mp3"
mkdir "$media/folder.mp3"
ln -s "$media/nowhere.mp3" "$media/dangling.mp3"
# A track long enough for the position slider to have somewhere to go.
gst-launch-1.0 -q audiotestsrc num-buffers=2000 samplesperbuffer=4410 ! \
    audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! filesink location="$media/long_200s.mp3" >/dev/null
(cd "$media" && ls -1 ./*.mp3 ./*.wav ./*.ogg) | sed "s|^\./|$media/|" >"$media/lists/all.m3u"
{
    echo "#EXTM3U"
    echo "$media/cbr_3s.mp3"
    echo "$media/missing.mp3"
    echo "not_audio.mp3"
    echo "$media/truncated.mp3"
    echo "$media/folder.mp3"
    echo "$media/tone_stereo_2s.mp3"
} >"$media/lists/mixed.m3u"
{
    echo "[playlist]"
    echo "File1=$media/vbr_4s.mp3"
    echo "File2=$media/dangling.mp3"
    echo "File3=$media/short_0_3s.mp3"
    echo "NumberOfEntries=3"
} >"$media/lists/three.pls"
# Long enough for the load's progress and Cancel to show.
for _ in $(seq 3000); do cat "$media/lists/all.m3u"; done >"$media/lists/long.m3u"
: >"$media/lists/empty.m3u"
cp "$fixtures/cbr_3s.mp3" "$media/lists/an_mp3.m3u"

# ---- the run ----
RANDOM=$seed
# Two moments in the middle 70 % of the run, at least a tenth of it apart, and how long the
# server stays down each time (0.3 to 3 s).
first=$((seconds * (15 + RANDOM % 30) / 100))
second=$((seconds * (55 + RANDOM % 30) / 100))
downs=("0.$((3 + RANDOM % 7))" "$((1 + RANDOM % 2)).$((RANDOM % 10))")
note "seed $seed, $seconds s; the sound server is killed at ${first} s and ${second} s; log in $log"

# Whether the monkey still runs: an ended one may stay a zombie until the shell reaps it, which
# it may do at any moment, so its status is read once and a failed read means gone.
alive() {
    local status
    status=$(cat "/proc/$1/status" 2>/dev/null) || return 1
    ! grep -q '^State:[[:space:]]*Z' <<<"$status"
}

started=$SECONDS
"$monkey" "$seconds" "$seed" "$media" >"$session_dir/rows" 2>"$log" &
monkey_pid=$!
pids+=("$monkey_pid")
# The monkey spends two seconds idle before it starts pressing.
kills=()
for at in "$first" "$second"; do
    while [ $((SECONDS - started)) -lt $((at + 2)) ] && alive "$monkey_pid"; do
        sleep 0.2
    done
    alive "$monkey_pid" || break
    kill_sound_server
    note "sound server killed at $((SECONDS - started - 2)) s"
    sleep "${downs[${#kills[@]}]}"
    start_sound_server
    kill -USR1 "$monkey_pid" 2>/dev/null || true
    kills+=("$((SECONDS - started - 2)) s")
done

# It may take a while to answer its last box and, under the sanitizers, to check for leaks.
deadline=$((started + seconds + 2 + ${MONKEY_GRACE:-120}))
while alive "$monkey_pid" && [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.5
done
hung=0
if alive "$monkey_pid"; then
    hung=1
    kill -KILL "$monkey_pid" 2>/dev/null || true # it may have ended just now
fi
status=0
wait "$monkey_pid" || status=$?
took=$((SECONDS - started))

cat "$session_dir/rows"
crashed=1
if [ "$hung" -eq 1 ]; then
    outcome="hung: no end $((took - seconds)) s after its time (seed $seed)"
elif [ "$status" -gt 128 ]; then
    outcome="killed by SIG$(kill -l $((status - 128))) (seed $seed)"
elif [ "$status" -ne 0 ]; then
    outcome="exit $status (seed $seed)"
elif ! grep -q '^monkey: finished$' "$log"; then
    outcome="ended early without its figures (seed $seed)"
else
    crashed=0
    outcome=0
fi
row "monkey: crashes" "$outcome" "-" "0" "$([ "$crashed" -eq 0 ] && echo ok || echo missed)"
row "monkey: sound server killed (SIGKILL) and started again" "${#kills[@]}: at ${kills[*]:-never} (${server:-unknown})" \
    "-" "2" "$([ "${#kills[@]}" -eq 2 ] && echo ok || echo missed)"
note "ran $took s in all"
if [ "$crashed" -ne 0 ]; then
    note "the monkey crashed; seed $seed; the last of its log ($log):"
    tail -25 "$log" >&2
    exit 1
fi
exit 0
