#!/usr/bin/env bash
# Figures of the real player on a private desktop (Xvfb, openbox, PulseAudio null sink), each
# next to a reference measured the same way in the same run: start-up, CPU and context
# switches (with the wake-ups of each thread) when idle, playing, paused and stopped, memory
# while playing, how soon sound follows the play key, and how closely the time box follows
# the engine. What playing costs and how soon each action is heard, under each sound server:
# sound_figures.sh.
# Output: one tab-separated line per figure (figure, measured, reference, target, verdict).
# usage: desktop_figures.sh PLAYER BARE_WINDOW DISPLAY_LAG FIRST_PAINT
player=$1
bare=$2
display_lag=$3
first_paint=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../scripts/desktop_session.sh
. "$here/../scripts/desktop_session.sh"
# shellcheck source=measure.sh
. "$here/measure.sh"

start_display
start_window_manager
start_sound
need lame
# Dialog history and the like stay in the session folder, not in the user's settings.
export XDG_CONFIG_HOME="$session_dir/config"

note() { echo "desktop: $*" >&2; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# Waits until a visible window has a title matching $1; prints its id.
wait_window() {
    local id="" deadline=$(($(date +%s) + 20))
    while [ -z "$id" ]; do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
        [ "$(date +%s)" -lt "$deadline" ] || return 1
    done
    echo "$id"
}

# ---- start-up ----
# Launches alternate, so that a slow moment of the machine falls on both.
note "start-up, 11 launches each"
: >"$session_dir/starts"
for _ in $(seq 11); do
    echo "bare $("$first_paint" Bare "$bare" || echo - -)" >>"$session_dir/starts"
    echo "player $("$first_paint" Marrowtune "$player" || echo - -)" >>"$session_dir/starts"
done
start_median() { awk -v w="$1" -v c="$2" '$1 == w && $c != "-" { print $c }' "$session_dir/starts" | median; }
player_paint=$(start_median player 3)
bare_paint=$(start_median bare 3)
if [ -n "$player_paint" ] && [ -n "$bare_paint" ]; then
    row "start-up to first paint on screen (median of 11)" "$player_paint ms" "$bare_paint ms (bare window)" "<= ref" "$(verdict "$player_paint" "$bare_paint")"
else
    row "start-up to first paint on screen" "not measured" "${bare_paint:--} ms (bare window)" "<= ref" "missed"
fi
row "  to window mapped (median of 11)" "$(start_median player 2) ms" "$(start_median bare 2) ms (bare window)" "-" "-"

# ---- idle ----
note "idle CPU, 20 s"
"$player" >"$session_dir/app.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")
"$bare" >/dev/null 2>&1 &
bare_pid=$!
pids+=("$bare_pid")
app_window=$(wait_window '^Marrowtune$') || { echo "FAIL: no player window" >&2; exit 1; }
wait_window '^Bare$' >/dev/null || { echo "FAIL: no bare window" >&2; exit 1; }
sleep 2
"$bare" --tick >/dev/null 2>&1 &
tick_pid=$!
pids+=("$tick_pid")
sleep 1
{
    IFS=$'\t' read -r app_idle app_idle_ctx app_idle_threads _
    IFS=$'\t' read -r bare_idle bare_idle_ctx _ _
    IFS=$'\t' read -r tick_idle tick_idle_ctx _ _
} < <(load_figures 20 "$app_pid" "$bare_pid" "$tick_pid")
kill "$bare_pid" "$tick_pid"
row "CPU idle, window open (20 s)" "$app_idle %" "$bare_idle % (bare window)" "<= 0.05 %" "$(verdict "$app_idle" 0.05)"
row "  context switches idle" "$app_idle_ctx /s" "$bare_idle_ctx /s (bare window)" "<= 2 /s" "$(verdict "$app_idle_ctx" 2)"
row "  wake-ups per thread, idle" "$app_idle_threads" "-" "-" "-"
row "  floor: a window with a do-nothing 10 ms timer" "$tick_idle % · $tick_idle_ctx /s" "-" "-" "-"

# ---- playing ----
song="$session_dir/tone 60 s.mp3"
sox -n -r "$rate" -c 2 -b 16 "$session_dir/tone.wav" synth 60 sine 440 vol 0.5
lame --quiet -b 192 "$session_dir/tone.wav" "$song"
rm "$session_dir/tone.wav"

note "loading the song as a user would"
xdotool windowactivate --sync "$app_window"
xdotool key --clearmodifiers ctrl+f
wait_window '^Load your MP3\.$' >/dev/null || { echo "FAIL: no file dialog" >&2; exit 1; }
sleep 0.3
xdotool type --delay 2 "$song"
xdotool key Return
wait_for 50 sh -c "! xdotool search --onlyvisible --name '^Load your MP3\\.\$'" || { echo "FAIL: the file dialog stayed" >&2; exit 1; }
read -r _ height < <(xwininfo -id "$app_window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
menu=$((height - 184))
xdotool windowactivate --sync "$app_window"
xdotool mousemove --window "$app_window" 60 $((menu + 135)) click 1
sleep 0.5

# The play key (Alt+P, the button's access key, unless told otherwise) is sent after the
# offset of the recording is read: the latency includes starting xdotool and
# the recorder's buffering (5 ms), so it is an upper bound.
press_play() {
    local offset
    offset=$(stat -c %s "$recording")
    offset=$((offset / 4 * 4))
    xdotool key --clearmodifiers "${1:-alt+p}"
    echo "$offset"
}

# CPU and switches are measured with no recorder: a 5 ms monitor makes the sound server
# ask every player for sound more often. The player and gst-launch take turns, three
# windows of 10 s each, and the median window of each counts: on two cores a busy moment
# of the machine moves a single window's switches by 10 /s or more.
rounds=3
note "CPU while playing, player and gst-launch in turns, $rounds x 10 s each"
: >"$session_dir/playing"
for _ in $(seq "$rounds"); do
    xdotool key --clearmodifiers alt+p
    sleep 2
    echo "player	$(load_figures 10 "$app_pid")" >>"$session_dir/playing"
    app_rss=$(rss_kib "$app_pid")
    xdotool key --clearmodifiers alt+s
    gst-launch-1.0 -q playbin uri="file://${song// /%20}" >/dev/null 2>&1 &
    gst_pid=$!
    pids+=("$gst_pid")
    sleep 2
    echo "gst	$(load_figures 10 "$gst_pid")" >>"$session_dir/playing"
    kill "$gst_pid"
    wait "$gst_pid" 2>/dev/null || true
done
# The window with the median switches, as "CPU<tab>switches<tab>threads<tab>voluntary".
median_window() { awk -F'\t' -v w="$1" '$1 == w' "$session_dir/playing" | sort -t$'\t' -k3,3n | sed -n "$(((rounds + 1) / 2))p" | cut -f2-; }
IFS=$'\t' read -r _ app_play_ctx app_play_threads app_play_woken < <(median_window player)
IFS=$'\t' read -r _ gst_play_ctx gst_play_threads gst_play_woken < <(median_window gst)
app_play=$(awk -F'\t' '$1 == "player" { print $2 }' "$session_dir/playing" | median)
gst_play=$(awk -F'\t' '$1 == "gst" { print $2 }' "$session_dir/playing" | median)

note "paused and stopped, 10 s each"
xdotool key --clearmodifiers alt+p
sleep 2
# The Pause button has no access key: a click, as a person would.
xdotool mousemove --window "$app_window" 150 $((menu + 6)) click 1
sleep 1
IFS=$'\t' read -r app_paused app_paused_ctx app_paused_threads _ < <(load_figures 10 "$app_pid")
xdotool key --clearmodifiers alt+s
sleep 1
IFS=$'\t' read -r app_stopped app_stopped_ctx app_stopped_threads _ < <(load_figures 10 "$app_pid")

# Everything the null sink plays, from now to the end.
recording="$session_dir/monitor.raw"
parec -d marrowtune_test.monitor --raw --format=s16le --rate="$rate" --channels=2 \
    --latency-msec=5 >"$recording" 2>/dev/null &
recorder_pid=$!
pids+=("$recorder_pid")
sleep 0.5

latencies=() menu_latencies=()
offset=$(press_play)
sleep 2
latencies+=("$(first_sound_ms "$recording" "$offset")")
for _ in 1 2 3 4; do
    xdotool key --clearmodifiers alt+s
    sleep 1
    offset=$(press_play)
    sleep 1.5
    latencies+=("$(first_sound_ms "$recording" "$offset")")
done
for _ in 1 2 3; do
    xdotool key --clearmodifiers alt+s
    sleep 1
    offset=$(press_play ctrl+p)
    sleep 1.5
    menu_latencies+=("$(first_sound_ms "$recording" "$offset")")
done
xdotool key --clearmodifiers alt+s
sleep 1

# Killed while it plays, a --remember start brings the song back paused where it was, silent,
# and its Resume button goes on from there. Anything heard while it is held counts as a miss.
note "Resume of a song a --remember start brought back, 3 times"
restart_player() {
    kill "${1:--TERM}" "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    "$player" "${@:2}" >"$session_dir/app.log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    app_window=$(wait_window '^Marrowtune$') || { echo "FAIL: no player window" >&2; exit 1; }
}
restored_latencies=()
for _ in 1 2 3; do
    restart_player -TERM --remember "$song"
    sleep 3
    restart_player -KILL --remember
    held=$(stat -c %s "$recording")
    held=$((held / 4 * 4))
    sleep 3
    offset=$(stat -c %s "$recording")
    offset=$((offset / 4 * 4))
    xdotool mousemove --window "$app_window" 150 $((menu + 6)) click 1
    sleep 1.5
    early=$(first_sound_ms "$recording" "$held")
    if [ -n "$early" ] && [ "$early" -lt $(((offset - held) * 1000 / bytes_per_second)) ]; then
        restored_latencies+=("") # heard before Resume
    else
        restored_latencies+=("$(first_sound_ms "$recording" "$offset")")
    fi
done
xdotool key --clearmodifiers alt+s
sleep 1

# How much of a figure is the method itself: a raw tone from pacat, timed the same way.
sox -n -r "$rate" -c 2 -b 16 -t raw "$session_dir/beep.raw" synth 0.3 sine 440 vol 0.5
offset=$(stat -c %s "$recording")
offset=$((offset / 4 * 4))
pacat --raw --format=s16le --rate="$rate" --channels=2 --latency-msec=5 "$session_dir/beep.raw"
sleep 1
note "method check: pacat to first sound $(first_sound_ms "$recording" "$offset") ms"

note "gst-launch-1.0 playbin to first sound"
offset=$(stat -c %s "$recording")
offset=$((offset / 4 * 4))
gst-launch-1.0 -q playbin uri="file://${song// /%20}" >/dev/null 2>&1 &
gst_pid=$!
pids+=("$gst_pid")
sleep 2
gst_start_sound=$(first_sound_ms "$recording" "$offset")
kill "$recorder_pid" "$gst_pid"

# VmRSS of program $1 handed the file $2 at launch, 4 s into playing it.
rss_playing() {
    local pid rss
    "$1" "$2" >/dev/null 2>&1 &
    pid=$!
    sleep 4
    rss=$(rss_kib "$pid")
    kill "$pid"
    echo "$rss"
}

note "bare window playing the same file, for memory"
bare_rss=$(rss_playing "$bare" "$song")
# So is the player here, as from a file manager, with no file dialog before it.
note "player handed the same file at launch, for memory"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
launched_rss=$(rss_playing "$player" "$song")

limit=$(awk -v g="$gst_play" 'BEGIN { printf "%.2f", g + 0.1 }')
row "CPU playing an MP3 (median of $rounds x 10 s)" "$app_play %" "$gst_play % (gst-launch playbin)" "<= ref + 0.1 % = $limit %" "$(verdict "$app_play" "$limit")"
limit=$(awk -v g="$gst_play_ctx" 'BEGIN { printf "%.1f", g + 5 }')
row "  context switches playing (median window)" "$app_play_ctx /s" "$gst_play_ctx /s (gst-launch playbin)" "<= ref + 5 = $limit /s" "$(verdict "$app_play_ctx" "$limit")"
row "    of them voluntary: the process's own wake-ups" "$app_play_woken /s" "$gst_play_woken /s (gst-launch playbin)" "-" "-"
row "  wake-ups per thread, playing" "$app_play_threads" "$gst_play_threads" "-" "-"
row "CPU paused (10 s)" "$app_paused %" "-" "<= 0.05 %" "$(verdict "$app_paused" 0.05)"
row "  context switches paused" "$app_paused_ctx /s" "-" "<= 2 /s" "$(verdict "$app_paused_ctx" 2)"
row "  wake-ups per thread, paused" "$app_paused_threads" "-" "-" "-"
row "CPU after Stop (10 s)" "$app_stopped %" "-" "<= 0.05 %" "$(verdict "$app_stopped" 0.05)"
row "  context switches after Stop" "$app_stopped_ctx /s" "-" "<= 2 /s" "$(verdict "$app_stopped_ctx" 2)"
row "  wake-ups per thread, after Stop" "$app_stopped_threads" "-" "-" "-"
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
rss_limit=$(mib $((bare_rss * 11 / 10)))
row "memory while playing, file from the dialog (VmRSS)" "$(mib "$app_rss") MiB" "$(mib "$bare_rss") MiB (bare window playing it)" "<= 1.1 x ref = $rss_limit MiB" "$(verdict "$(mib "$app_rss")" "$rss_limit")"
row "memory while playing, file handed at launch" "$(mib "$launched_rss") MiB" "$(mib "$bare_rss") MiB (bare window playing it)" "<= 1.1 x ref = $rss_limit MiB" "$(verdict "$(mib "$launched_rss")" "$rss_limit")"

# latency_row FIGURE COUNT FAILED REFERENCE TARGET LIMIT PICK MS...: the median or the worst
# (PICK) of the measurements in ms, or FAILED with them all when one of them heard nothing.
latency_row() {
    local figure=$1 count=$2 failed=$3 reference=$4 target=$5 limit=$6 pick=$7 l
    shift 7
    for l in "$@"; do
        [ -n "$l" ] || { row "$figure" "$failed: $*" "$reference" "$target" "missed"; return; }
    done
    l=$(printf '%s\n' "$@" | "$pick")
    row "$figure ($pick of $count)" "$l ms" "$reference" "$target" "$(verdict "$l" "$limit")"
}

gst_reference="${gst_start_sound:-?} ms (gst-launch, from launch)"
latency_row "play key to first sound" 5 "no sound" "$gst_reference" "< 100 ms" 99.999 median "${latencies[@]}"
note "latencies: ${latencies[*]} ms"
menu_latency=$(printf '%s\n' "${menu_latencies[@]}" | median)
row "Ctrl+P (menu) to first sound (median of 3)" "$menu_latency ms" "$gst_reference" "-" "-"
note "Ctrl+P latencies: ${menu_latencies[*]} ms"
latency_row "Resume of a song a --remember start brought back, to first sound" 3 "silent, or heard while held" "-" "< 1000 ms" 999.999 worst "${restored_latencies[@]}"

note "time box against the engine's position, 15 s"
"$display_lag" "$song" 15 2>/dev/null || row "time box lag" "not measured" "-" "<= 30 ms" "missed"
