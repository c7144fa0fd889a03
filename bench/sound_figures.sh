#!/usr/bin/env bash
# The player as it sounds, under the sound server SOUND_SERVER names (pulseaudio or pipewire),
# on a private desktop with a null sink: what playing costs (CPU and wake-ups, next to
# gst-launch-1.0 playbin on the same file, in turns), then how soon each action is heard in a
# recording of the sink's monitor (the play key, mute, volume, balance, pause, a seek), and how
# closely the position and the time box follow the sound heard. Each action is taken after the
# recording's length is read, so each figure includes starting xdotool or playerctl and the
# recorder's 5 ms: an upper bound. Every action must be heard in time, so the worst one counts.
# Beside the play key, a raw stream's start shows how much of it is the server's own.
# Output: one tab-separated line per figure (figure, measured, reference, target, verdict).
# usage: sound_figures.sh PLAYER DISPLAY_LAG
player=$1
display_lag=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../scripts/desktop_session.sh
. "$here/../scripts/desktop_session.sh"
# shellcheck source=measure.sh
. "$here/measure.sh"

need lame playerctl
start_display
start_window_manager
start_buses
start_sound
case "${SOUND_SERVER:-pulseaudio}" in
pipewire) server=PipeWire ;;
*) server=PulseAudio ;;
esac
note() { echo "sound, $server: $*" >&2; }
pc() { playerctl -p marrowtune "$@" 2>/dev/null; }

# 40 s of tone, then 20 s of silence: a seek into the silence is heard as the tone stopping.
song="$session_dir/tone.mp3"
sox -n -r "$rate" -c 2 -b 16 "$session_dir/tone.wav" synth 40 sine 440 vol 0.5 pad 0 20
lame --quiet -b 192 "$session_dir/tone.wav" "$song"
# Half a second of tone, half a second of silence: the sound stops at every k + 1/2 s.
gapped="$session_dir/gapped.mp3"
sox -n -r "$rate" -c 2 -b 16 "$session_dir/gapped.wav" synth 0.5 sine 440 vol 0.5 pad 0 0.5 repeat 19
lame --quiet -b 192 "$session_dir/gapped.wav" "$gapped"

# ---- what playing costs: no recorder runs meanwhile, as a 5 ms one makes the server ask
# every player for sound more often ----
rounds=3
note "CPU while playing, player and gst-launch in turns, $rounds x 10 s each"
: >"$session_dir/playing"
for _ in $(seq "$rounds"); do
    start_player "$player" "$song"
    sleep 2
    echo "player	$(load_figures 10 "$APP_PID")" >>"$session_dir/playing"
    kill "$APP_PID" && wait "$APP_PID" 2>/dev/null || true
    gst-launch-1.0 -q playbin uri="file://${song// /%20}" >/dev/null 2>&1 &
    gst_pid=$!
    pids+=("$gst_pid")
    sleep 2
    echo "gst	$(load_figures 10 "$gst_pid")" >>"$session_dir/playing"
    kill "$gst_pid" && wait "$gst_pid" 2>/dev/null || true
done
# The median of each figure over the rounds; the threads of the round with the median wake-ups.
figure() { awk -F'\t' -v w="$1" -v c="$2" '$1 == w { print $c }' "$session_dir/playing" | median; }
threads() { awk -F'\t' -v w="$1" '$1 == w' "$session_dir/playing" | sort -t$'\t' -k5,5n | sed -n "$(((rounds + 1) / 2))p" | cut -f4; }
for f in cpu:2 woken:5; do
    app=$(figure player "${f#*:}")
    gst=$(figure gst "${f#*:}")
    limit=$(awk -v g="$gst" 'BEGIN { printf "%.2f", 0.6 * g }')
    case $f in
    cpu*) row "CPU playing an MP3, $server (median of $rounds x 10 s)" "$app %" "$gst % (gst-launch playbin)" "<= 0.6 x ref = $limit %" "$(verdict "$app" "$limit")" ;;
    *) row "  wake-ups playing (voluntary switches), $server" "$app /s" "$gst /s (gst-launch playbin)" "<= 0.6 x ref = $limit /s" "$(verdict "$app" "$limit")" ;;
    esac
done
row "  wake-ups per thread, playing, $server" "$(threads player)" "$(threads gst)" "-" "-"

# ---- how soon it is heard ----
recording="$session_dir/monitor.raw"
parec -d marrowtune_test.monitor --raw --format=s16le --rate="$rate" --channels=2 \
    --latency-msec=5 >"$recording" 2>/dev/null &
pids+=($!)
sleep 0.5

# The position and the time box against the sound: the window and engine alone.
note "position against the sound heard, 12 s"
"$display_lag" "$gapped" 12 "$recording" 2>/dev/null | sed "s/^\([^\t]*\)/\1, $server/" ||
    row "position against the sound heard, $server" "not measured" "-" "<= 30 ms" "missed"

start_player "$player" "$song" # handed a file, it plays at once
sleep 2
xdotool windowactivate --sync "$APP_WINDOW"
read -r _ height < <(xwininfo -id "$APP_WINDOW" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
menu=$((height - 184))

# heard CHANNEL ACTION...: the milliseconds from ACTION (a key, or a command) to channel
# CHANNEL falling quiet.
heard() {
    local offset channel=$1
    shift
    offset=$(offset_now "$recording")
    if [ $# -eq 1 ] && ! declare -F "$1" >/dev/null; then xdotool key --clearmodifiers "$1"; else "$@"; fi
    sleep 1
    first_low_ms "$recording" "$offset" "$channel"
}
# sounds KEY: the milliseconds from KEY to the first sound.
sounds() {
    local offset
    offset=$(offset_now "$recording")
    xdotool key --clearmodifiers "$1"
    sleep 1.5
    first_sound_ms "$recording" "$offset"
}
pause_button() { xdotool mousemove --window "$APP_WINDOW" 150 $((menu + 6)) click 1; }

# worst_row FIGURE TARGET_MS REFERENCE MS...: the worst, or "not heard" with them all when one
# was not.
worst_row() {
    local figure=$1 target=$2 reference=$3 l
    shift 3
    for l in "$@"; do
        [ -n "$l" ] || { row "$figure, $server" "not heard: $*" "$reference" "<= $target ms" "missed"; return; }
    done
    l=$(printf '%s\n' "$@" | worst)
    row "$figure, $server (worst of $#)" "$l ms" "$reference" "<= $target ms" "$(verdict "$l" "$target")"
}
# What the sound server alone takes to start a stream and the recording to show it: a short
# tone from pacat, timed the same way.
sox -n -r "$rate" -c 2 -b 16 -t raw "$session_dir/beep.raw" synth 0.3 sine 440 vol 0.5
raw_stream() {
    local offset
    offset=$(offset_now "$recording")
    pacat --raw --format=s16le --rate="$rate" --channels=2 --latency-msec=5 "$session_dir/beep.raw"
    sleep 0.5
    first_sound_ms "$recording" "$offset"
}

mutes=() volumes=() balances=() pauses=() seeks=() plays=() raw=()
for _ in 1 2 3 4 5; do
    mutes+=("$(heard 0 alt+m)")
    xdotool key --clearmodifiers alt+m
    sleep 0.5
done
for _ in 1 2 3 4 5; do
    pauses+=("$(heard 0 pause_button)")
    pause_button # Resume
    sleep 0.5
    seeks+=("$(heard 0 pc position 45)")
    pc position 5
    sleep 0.5
done
for _ in 1 2 3 4 5; do
    xdotool key --clearmodifiers alt+s
    sleep 0.5
    raw+=("$(raw_stream)")
    plays+=("$(sounds alt+p)")
done
# The volume slider, at its loudest end, takes the focus from a click on its handle; the
# balance slider is the next in the tab order (its frame hides it from the mouse).
xdotool mousemove --window "$APP_WINDOW" 104 $((menu + 58)) click 1
for _ in 1 2 3 4 5; do
    volumes+=("$(heard 0 Home)")
    xdotool key --clearmodifiers End
    sleep 0.5
done
xdotool key --clearmodifiers Tab
for _ in 1 2 3; do
    balances+=("$(heard 0 End)" "$(heard 1 Home)")
done

worst_row "play key to first sound" 100 "$(printf '%s\n' "${raw[@]}" | worst) ms (pacat, worst)" "${plays[@]}"
worst_row "Alt+M (mute) heard" 150 - "${mutes[@]}"
worst_row "volume slider to its quietest end heard" 150 - "${volumes[@]}"
worst_row "balance slider to one end heard" 150 - "${balances[@]}"
worst_row "Pause heard" 50 - "${pauses[@]}"
worst_row "a seek heard (media controls)" 150 - "${seeks[@]}"
note "play ${plays[*]} (pacat ${raw[*]}); mute ${mutes[*]}; volume ${volumes[*]}; balance ${balances[*]}; pause ${pauses[*]}; seek ${seeks[*]} ms"
