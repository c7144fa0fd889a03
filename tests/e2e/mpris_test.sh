#!/usr/bin/env bash
# Media keys and the desktop's media controls: the real player on a session bus of its own,
# driven with playerctl as a desktop panel drives it, while a second playerctl follows the
# status the player announces.
# usage: mpris_test.sh PLAYER OUTPUT_DIR LONG_FIXTURE SHORT_FIXTURE
if [ -z "${MT_PRIVATE_BUS:-}" ]; then
    for tool in dbus-run-session dbus-daemon; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
    MT_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
player=$1
out=$2
long=$(realpath "$3")
short=$(realpath "$4")
here=$(dirname "$0")
. "$here/desktop_session.sh"
mkdir -p "$out"

need playerctl dbus-send
start_display
start_window_manager
start_sound
start_player "$player"

fail() {
    echo "FAIL: $*"
    shot "$out/mpris_failure.png" || true
    sed 's/^/  player: /' "$session_dir/app.log"
    exit 1
}
pc() { playerctl -p marrowtune "$@" 2>/dev/null; }
menu=$(($(xwininfo -id "$APP_WINDOW" | awk '/Height:/ {print $2}') - 184))
status_is() { [ "$(pc status)" = "$1" ]; }
title_is() { [ "$(pc metadata xesam:title)" = "$1" ]; }
expect_status() { wait_for 30 status_is "$1" || fail "status is '$(pc status)', expected $1 ($2)"; }
# between VALUE LOW HIGH
between() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN {exit !(v != "" && v >= lo && v <= hi)}'; }

wait_for 50 sh -c 'playerctl -l 2>/dev/null | grep -qx marrowtune' || fail "the player is not on the session bus"
expect_status Stopped "at start"
playerctl -p marrowtune --follow status >"$session_dir/follow.txt" 2>&1 &
pids+=($!)

add_file "$long"
add_file "$short"
sleep 0.5 # let the list show its new entries
xdotool mousemove --window "$APP_WINDOW" 100 $((136 + menu)) click 1 # the first entry

pc play-pause
expect_status Playing "after play-pause"
# A slow machine (a sanitizer build, say) may take a moment before the sound starts.
wait_for 50 sh -c "playerctl -p marrowtune position | awk '{exit !(\$1 > 0.3)}'" ||
    fail "the position did not move after play-pause"
level=$(rms 1.5)
loud "$level" || fail "no sound while playing (RMS $level)"
title=$(pc metadata xesam:title)
[ "$title" = "$(basename "$long")" ] || fail "title '$title'"
length=$(pc metadata mpris:length)
between "$length" 11500000 12500000 || fail "length '$length' µs for a 12 s file"
echo "playing '$title', $length µs, RMS $level"

pc position 5
between "$(pc position)" 5 6.5 || fail "position $(pc position) after setting 5 s"
pc position 2-
between "$(pc position)" 3 4.9 || fail "position $(pc position) after going back 2 s"

pc play-pause
expect_status Paused "after the second play-pause"
at=$(pc position)
sleep 0.5
between "$(pc position)" "$at" "$(awk -v a="$at" 'BEGIN {print a + 0.05}')" || fail "the position moves while paused"
pc play-pause
expect_status Playing "after resuming"

pc volume 0.5
[ "$(pc volume)" = 0.500000 ] || fail "volume $(pc volume) after setting 0.5"
shot "$out/mpris_volume.png" "$APP_WINDOW"

pc next
wait_for 30 title_is "$(basename "$short")" || fail "next: title '$(pc metadata xesam:title)'"
expect_status Playing "after next"
# The 3 s file ends by itself; the end-of-track mode is n()ne.
wait_for 60 status_is Stopped || fail "status '$(pc status)' after the last track ended"
pc previous
wait_for 30 title_is "$(basename "$long")" || fail "previous: title '$(pc metadata xesam:title)'"
expect_status Playing "after previous"
pc stop
expect_status Stopped "after stop"
[ -z "$(pc metadata xesam:title)" ] || fail "metadata left after stop"

announced=$(uniq "$session_dir/follow.txt" | paste -sd' ')
[ "$announced" = "Stopped Playing Paused Playing Stopped Playing Stopped" ] ||
    fail "announced: $announced"
echo "announced: $announced"

dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.marrowtune \
    /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit
wait_for 30 sh -c "! kill -0 $APP_PID" || fail "the player did not end on Quit"

# Opened from a file manager: the player started with a file plays it; a second launch with
# a folder and --enqueue hands the folder to it and ends, and no second window appears.
start_player "$player" "$long"
expect_status Playing "started with a file"
title_is "$(basename "$long")" || fail "started with a file: title '$(pc metadata xesam:title)'"
level=$(rms 1.5)
loud "$level" || fail "no sound from the file given on the command line (RMS $level)"
mkdir -p "$session_dir/album"
ln -sf "$short" "$session_dir/album/$(basename "$short")"
started=$(date +%s%N)
timeout 10 "$player" --enqueue "$session_dir/album" >"$session_dir/second.log" 2>&1 ||
    fail "the second launch failed: $(cat "$session_dir/second.log")"
handed_ms=$((($(date +%s%N) - started) / 1000000))
windows=$(xdotool search --onlyvisible --name '^Marrowtune$' | wc -l)
[ "$windows" -eq 1 ] || fail "$windows windows after the second launch"
title_is "$(basename "$long")" || fail "the enqueued folder changed the track"
pc next
wait_for 30 title_is "$(basename "$short")" || fail "the folder is not in the list: title '$(pc metadata xesam:title)'"
echo "second launch handed its folder over in $handed_ms ms; RMS $level"
echo PASS
