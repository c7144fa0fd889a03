#!/usr/bin/env bash
# The whole program tried as a person would: add a file through the dialog, play it, pause,
# resume, watch the time move, stop and exit, with the keyboard and the mouse only, while
# the sound that reaches a PulseAudio null sink is recorded and measured.
# usage: play_test.sh PLAYER OUTPUT_DIR FIXTURE
player=$1
out=$2
fixture=$(realpath "$3")
here=$(dirname "$0")
. "$here/desktop_session.sh"
mkdir -p "$out"

start_display
start_window_manager
start_sound
need import compare
start_player "$player"

fail() {
    echo "FAIL: $*"
    shot "$out/play_failure.png" || true
    sed 's/^/  player: /' "$session_dir/app.log"
    exit 1
}
menu=$(($(xwininfo -id "$APP_WINDOW" | awk '/Height:/ {print $2}') - 184))
# Clicks a point of the client area (below the menu bar), in pixels.
click() {
    xdotool mousemove --window "$APP_WINDOW" "$1" $(($2 + menu)) click 1
}
time_box() { import -window "$APP_WINDOW" -crop "37x21+128+$((48 + menu))" +repage "$1"; }

add_file "$fixture"

sleep 0.5 # let the list show its new entry
click 100 136 # the first entry of the play list
key alt+p
sleep 0.3
# Long enough that a slow start (a sanitizer build, say) still leaves plenty of sound.
level=$(rms 2.5)
loud "$level" || fail "no sound while playing (RMS $level)"
echo "playing: RMS $level"
shot "$out/play_playing.png" "$APP_WINDOW"
time_box "$session_dir/time1.png"

click 156 6 # Pause
sleep 0.3
level=$(rms 1)
quiet "$level" || fail "sound while paused (RMS $level)"
echo "paused: RMS $level"
shot "$out/play_paused.png" "$APP_WINDOW"

click 156 6 # Resume
level=$(rms 2.5)
loud "$level" || fail "no sound after resume (RMS $level)"
echo "resumed: RMS $level"
time_box "$session_dir/time2.png"
changed=$(compare -metric AE "$session_dir/time1.png" "$session_dir/time2.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 0 ] 2>/dev/null || fail "the time box did not change ($changed pixels)"
echo "time box: $changed pixels changed"
shot "$out/play_resumed.png" "$APP_WINDOW"

key alt+s
sleep 0.3
level=$(rms 1)
quiet "$level" || fail "sound after stop (RMS $level)"
echo "stopped: RMS $level"

key alt+p # play again, then exit while it plays
sleep 0.5
start=$(date +%s%N)
key ctrl+x
wait_for 10 sh -c "! kill -0 $APP_PID" || fail "the player did not end within a second of Ctrl+X"
echo "exit took $((($(date +%s%N) - start) / 1000000)) ms"
echo PASS
