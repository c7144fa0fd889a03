#!/usr/bin/env bash
# How soon a mute, a volume change and a balance change are heard, under the sound server
# SOUND_SERVER names (pulseaudio or pipewire): the real player on a private desktop plays a
# tone into a null sink whose monitor is recorded. Each key is sent after the recording's
# length is read, so each figure includes starting xdotool and the recorder's 5 ms: an upper
# bound. Every change must be heard in time, so the worst one counts.
# Output: one tab-separated line per figure (figure, measured, reference, target, verdict).
# usage: level_figures.sh PLAYER
player=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../scripts/desktop_session.sh
. "$here/../scripts/desktop_session.sh"

need lame
start_display
start_window_manager
start_sound
case "${SOUND_SERVER:-pulseaudio}" in
pipewire) server=PipeWire ;;
*) server=PulseAudio ;;
esac

rate=44100
bytes_per_second=$((rate * 4)) # s16le stereo
# A change is heard once the channel stays 18 dB below the tone (-6 dBFS): muted it is 0, at
# the quietest volume 25 dB down, with the balance at one end the other side 50 dB down.
quiet=2048

row() { printf '%s\t%s\t%s\t%s\t%s\n' "$@"; }
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }

# The milliseconds from byte offset $2 of the monitor recording $1 to the start of the first
# 5 ms in which channel $3 (0 left, 1 right) stays below $quiet; empty if there is none. A
# sine passes zero, but for far less than 5 ms.
first_low_ms() {
    od -An -v -td2 -w2 -j "$2" -N $((bytes_per_second * 2)) "$1" |
        awk -v c="$3" -v l="$quiet" -v r="$rate" '(NR - 1) % 2 == c && !found { n++
            v = $1 < 0 ? -$1 : $1; if (v < l) { if (!run) start = n; run++ } else run = 0
            if (run >= r / 200) { printf "%d\n", (start - 1) / r * 1000; found = 1 } }'
}

# heard CHANNEL KEY: the milliseconds from KEY to channel CHANNEL falling quiet.
heard() {
    local offset
    offset=$(stat -c %s "$recording")
    xdotool key --clearmodifiers "$2"
    sleep 1
    first_low_ms "$recording" $((offset / 4 * 4)) "$1"
}

# level_row FIGURE MS...: the worst, or "not heard" with them all when one was not.
level_row() {
    local figure=$1 l
    shift
    for l in "$@"; do
        [ -n "$l" ] || { row "$figure, $server" "not heard: $*" "-" "<= 150 ms" "missed"; return; }
    done
    l=$(printf '%s\n' "$@" | sort -n | tail -1)
    row "$figure, $server (worst of $#)" "$l ms" "-" "<= 150 ms" "$(le "$l" 150 && echo ok || echo missed)"
}

song="$session_dir/tone.mp3"
sox -n -r "$rate" -c 2 -b 16 "$session_dir/tone.wav" synth 60 sine 440 vol 0.5
lame --quiet -b 192 "$session_dir/tone.wav" "$song"
start_player "$player" "$song" # handed a file, it plays at once
recording="$session_dir/monitor.raw"
parec -d marrowtune_test.monitor --raw --format=s16le --rate="$rate" --channels=2 \
    --latency-msec=5 >"$recording" 2>/dev/null &
pids+=($!)
sleep 2
xdotool windowactivate --sync "$APP_WINDOW"

mutes=() volumes=() balances=()
for _ in 1 2 3 4 5; do
    mutes+=("$(heard 0 alt+m)")
    xdotool key --clearmodifiers alt+m
    sleep 0.5
done
# The volume slider, at its loudest end, takes the focus from a click on its handle; the
# balance slider is the next in the tab order (its frame hides it from the mouse).
read -r _ height < <(xwininfo -id "$APP_WINDOW" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
xdotool mousemove --window "$APP_WINDOW" 104 $((height - 184 + 58)) click 1
for _ in 1 2 3 4 5; do
    volumes+=("$(heard 0 Home)")
    xdotool key --clearmodifiers End
    sleep 0.5
done
xdotool key --clearmodifiers Tab
for _ in 1 2 3; do
    balances+=("$(heard 0 End)" "$(heard 1 Home)")
done

level_row "Alt+M (mute) heard" "${mutes[@]}"
level_row "volume slider to its quietest end heard" "${volumes[@]}"
level_row "balance slider to one end heard" "${balances[@]}"
echo "levels, $server: mute ${mutes[*]}; volume ${volumes[*]}; balance ${balances[*]} ms" >&2
