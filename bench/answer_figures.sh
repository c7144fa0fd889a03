#!/usr/bin/env bash
# How long the real player's window goes without answering while something around it stalls,
# on a private desktop (Xvfb, openbox, a session bus, PulseAudio null sink): the longest wait
# of its media controls for a status question asked every ~10 ms, when Play is pressed with
# the sound server frozen, when a track end walks over ten entries that cannot play, and
# when a list that is a FIFO nobody writes to is opened; each next to the same wait of the
# idle player in the same run. The GUI thread answers those questions, so any wait on the
# engine, a file, a pipe or the sound server shows. One check beside them: a launch with a
# path while a start hangs on the frozen server hands the path over, opening no second window.
# Output: one tab-separated line per figure (figure, measured, reference, target, verdict).
# usage: answer_figures.sh PLAYER ANSWER_PROBE FIXTURES_FOLDER
player=$1
probe=$2
fixtures=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../scripts/desktop_session.sh
. "$here/../scripts/desktop_session.sh"

need xdotool playerctl dbus-send
start_display
start_window_manager
start_buses
# What a screen reader costs is not measured here, and no accessibility bus is started.
unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_ACCESSIBILITY
start_sound

target_ms=250
row() { printf '%s\t%s\t%s\t%s\t%s\n' "$@"; }
note() { echo "answer: $*" >&2; }
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
verdict() { if le "$1" "$2"; then echo ok; else echo missed; fi; }
pc() { playerctl -p marrowtune "$@" 2>/dev/null; }
playing() { pc metadata xesam:url | grep -q "$1"; }
click() { xdotool mousemove --window "$APP_WINDOW" "$1" $(($2 + menu)) click 1; }

# start_probe SECONDS NAME: asks the player from now on, in the background; answered NAME
# waits for it (in this shell: its child) and reads "longest calls failed" into $answer.
start_probe() {
    "$probe" "$1" >"$session_dir/$2.probe" 2>"$session_dir/$2.probe_log" &
    probe_pid=$!
    pids+=("$probe_pid")
}
answered() {
    wait "$probe_pid" || echo "- 0 0" >"$session_dir/$1.probe"
    sed 's/^/  /' "$session_dir/$1.probe_log" >&2
    read -r -a answer <"$session_dir/$1.probe"
}
# answer_row FIGURE NAME: the figure from the probe NAME, next to the idle reference.
answer_row() {
    answered "$2"
    local longest=${answer[0]} calls=${answer[1]} failed=${answer[2]}
    note "$1: longest $longest ms over $calls questions, $failed unanswered"
    if [ "$calls" -eq 0 ]; then
        row "$1" "not measured" "$reference_ms ms (idle player)" "<= $target_ms ms" missed
    elif [ "$failed" -gt 0 ]; then
        row "$1" "$longest ms, $failed of $calls unanswered" "$reference_ms ms (idle player)" "<= $target_ms ms" missed
    else
        row "$1" "$longest ms" "$reference_ms ms (idle player)" "<= $target_ms ms" "$(verdict "$longest" "$target_ms")"
    fi
}
# The player's other windows (its boxes and progress dialogs), as "id title" lines.
other_windows() {
    local w
    for w in $(xdotool search --onlyvisible --name '^(Marrowtune|Error)$' 2>/dev/null); do
        [ "$w" = "$APP_WINDOW" ] || echo "$w $(xdotool getwindowname "$w")"
    done
}
# Closes them as Escape does (a box's OK, a load's Cancel) and prints their titles. A box
# is modal: keys meant for the main window wait until it is closed.
close_others() {
    local w title
    while read -r w title; do
        xdotool windowactivate --sync "$w" key --clearmodifiers Escape 2>/dev/null || true
        echo "a box \"$title\""
    done < <(other_windows) | paste -sd, | sed 's/,/, /g'
}
# How many programs show a window titled Marrowtune: a second player shows one of its own.
players_shown() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Marrowtune$' 2>/dev/null); do
        xdotool getwindowpid "$w" 2>/dev/null || true
    done | sort -u | wc -l
}

# ---- the files ----
short="$fixtures/short_0_3s.mp3"
bad="$session_dir/unplayable"
mkdir -p "$bad/folder.mp3"
cp "$fixtures/not_audio.mp3" "$bad/text.mp3"
: >"$bad/empty.mp3"
head -c 65536 /dev/zero >"$bad/zeros.mp3"
mkfifo "$bad/fifo.mp3"
cp "$fixtures/not_audio.mp3" "$bad/unreadable.mp3"
chmod 000 "$bad/unreadable.mp3"
ln -s "$bad/nowhere.mp3" "$bad/dangling.mp3"
ln -s loop_b.mp3 "$bad/loop_a.mp3"
ln -s loop_a.mp3 "$bad/loop_b.mp3"
walk_list="$session_dir/walk.m3u"
{
    echo "$fixtures/cbr_3s.mp3"
    echo "$bad/missing.mp3"
    echo "$bad/no such folder/gone.mp3"
    echo "$bad/text.mp3"
    echo "$bad/empty.mp3"
    echo "$bad/fifo.mp3"
    echo "$bad/folder.mp3"
    echo "$bad/zeros.mp3"
    echo "$bad/unreadable.mp3"
    echo "$bad/dangling.mp3"
    echo "$bad/loop_a.mp3"
    echo "$fixtures/tone_stereo_2s.mp3"
} >"$walk_list"
stalled_list="$session_dir/stalled.m3u"
mkfifo "$stalled_list" "$session_dir/stalled_too.m3u"

start_player "$player"
wait_for 100 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.marrowtune /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:PlaybackStatus ||
    { echo "the player's media controls never answered" >&2; exit 1; }
read -r _ height < <(xwininfo -id "$APP_WINDOW" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
menu=$((height - 184))
sleep 1 # past the sound system's loading after the first paint

# ---- reference ----
note "idle player, 3 s"
start_probe 3 idle
answered idle
reference_ms=${answer[0]}

# ---- Play with the sound server frozen ----
timeout 5 "$player" --enqueue "$short" >>"$session_dir/launches.log" 2>&1 || note "the short file was not handed over"
sleep 0.5
click 100 136 # the first entry
sleep 0.3
note "Play pressed with the sound server frozen, 3 s"
kill -STOP "$PULSE_PID"
start_probe 3.2 frozen_play
sleep 0.2
key alt+p
answer_row "longest no answer: Play, sound server frozen (3 s)" frozen_play
kill -CONT "$PULSE_PID"
sleep 1
note "after it: $(close_others)"
key alt+s
sleep 0.5

# ---- a launch with a path while a start hangs on the frozen server ----
note "a launch with a path during a start on the frozen server"
kill -STOP "$PULSE_PID"
key alt+p
sleep 0.1
started=$(date +%s%N)
timeout 10 "$player" --enqueue "$fixtures/cbr_3s.mp3" >>"$session_dir/launches.log" 2>&1 &
second_pid=$!
pids+=("$second_pid")
for _ in $(seq 40); do
    kill -0 "$second_pid" 2>/dev/null || break
    sleep 0.1
done
took=$((($(date +%s%N) - started) / 1000000))
sleep 1 # a second window would be mapped by now
shown=$(players_shown)
if kill -0 "$second_pid" 2>/dev/null; then
    second="no hand-over: its own window, still open after 4 s"
    kill "$second_pid"
    wait "$second_pid" 2>/dev/null || true
else
    status=0
    wait "$second_pid" || status=$?
    second="exit $status in $took ms"
fi
kill -CONT "$PULSE_PID"
note "second launch: $second; $shown programs show a Marrowtune window"
check="launch with a path during a start on a frozen sound server"
if [ "$second" = "exit 0 in $took ms" ] && [ "$shown" -eq 1 ]; then
    row "$check" "handed over in $took ms, no second window" "-" "exit 0 within 4 s, 1 window" ok
else
    row "$check" "$second; windows of $shown programs" "-" "exit 0 within 4 s, 1 window" missed
fi
sleep 1
note "after it: $(close_others)"
key alt+s
sleep 0.5

# ---- a track end walking over ten unplayable entries ----
note "a track end walking over ten unplayable entries, until it settles"
click 350 94 # rezume
sleep 0.2
timeout 5 "$player" "$walk_list" >>"$session_dir/launches.log" 2>&1 || note "the list was not handed over"
wait_for 50 playing cbr_3s || note "the first track did not start: $(pc status)"
# What the media controls show from now on: the walk has settled when they show a stop (no
# track) or the last entry playing.
playerctl -p marrowtune --follow metadata --format '{{status}} {{xesam:url}}' >"$session_dir/walked" 2>/dev/null &
pids+=($!)
settled() { grep -q -e '^$' -e '^Stopped' -e tone_stereo_2s "$session_dir/walked"; }
sleep 1.5 # the track's end is 1.5 s away
start_probe 10 walk
walk_start=$(date +%s%N)
wait_for 90 settled || note "the walk did not settle within 9 s"
note "settled $((($(date +%s%N) - walk_start) / 1000000)) ms after the probe started, 1.5 s before the track's end"
sleep 0.5 # and nothing more follows it
kill -TERM "$probe_pid" 2>/dev/null || true
answer_row "longest no answer: a track end walks over 10 unplayable entries" walk
# The media controls show no failed start, only the status and a track that plays.
if playing tone_stereo_2s; then
    walk_end="playing the last entry"
elif playing cbr_3s; then
    walk_end="still playing the first track"
else
    walk_end="$(pc status || echo 'no status'), the last entry not reached"
fi
# A start still waiting on the FIFO nobody writes to is let go.
timeout 1 sh -c ': >"$1"' _ "$bad/fifo.mp3" 2>/dev/null &
pids+=($!)
row "  where the walk settled" "$walk_end" "-" "-" "-"
key alt+s
click 325 112 # n()ne
sleep 0.3
note "after it: $(close_others)"

# ---- a list that is a FIFO ----
# Anything still loading after a second is cancelled, as a person would; the player should
# say that the list cannot be read.
cancel_and_tell() {
    sleep 1
    local w title
    while read -r w title; do
        [ "$title" != Marrowtune ] || { note "a load in progress: Cancel"; xdotool windowactivate --sync "$w" key Escape; }
    done < <(other_windows)
    answer_row "$1" "$2"
    said=$(close_others)
    row "  the player said" "${said:-nothing}" "-" "a box: the list cannot be read" "$([ -n "$said" ] && echo ok || echo missed)"
}

note "a launch with a list that is a FIFO, 3 s"
start_probe 3.2 fifo_launch
sleep 0.2
timeout 5 "$player" "$stalled_list" >>"$session_dir/launches.log" 2>&1 || note "the launch with the FIFO ended with $?"
cancel_and_tell "longest no answer: launch with a list that is a FIFO (3 s)" fifo_launch

note "a FIFO through l()ad lizt, 3 s"
key ctrl+o
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Load your list\.$' | head -1) || true
if [ -z "$dialog" ]; then
    row "longest no answer: l()ad lizt of a FIFO (3 s)" "not measured (no \"Load your list.\" dialog)" "$reference_ms ms (idle player)" "<= $target_ms ms" missed
    exit 0
fi
xdotool windowactivate --sync "$dialog" type --delay 5 "$session_dir/stalled_too.m3u"
start_probe 3.2 fifo_dialog
sleep 0.2
xdotool key --clearmodifiers Return
cancel_and_tell "longest no answer: l()ad lizt of a FIFO (3 s)" fifo_dialog
