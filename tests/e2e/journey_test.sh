#!/usr/bin/env bash
# One evening with the real player, as a person has it: in a private desktop (DESKTOP: an X
# display with openbox, or sway with XWayland), a session bus, an accessibility bus and a
# sound server's null sink (SOUND_SERVER: PulseAudio or PipeWire) whose sound is measured.
# Keys and clicks only; the desktop's media controls through playerctl.
# usage: journey_test.sh PLAYER OUTPUT_DIR LONG_MP3 SHORT_MP3
player=$1
out=$2
long=$(realpath "$3")
short=$(realpath "$4")
here=$(dirname "$0")
. "$here/../../scripts/desktop_session.sh"
mkdir -p "$out"

need playerctl import compare /usr/bin/python3
start_display
start_window_manager
start_buses
start_sound
start_player "$player"

fail() {
    echo "FAIL: $*"
    shot "$out/journey_failure.png" || true
    sed 's/^/  player: /' "$session_dir/app.log"
    exit 1
}
pc() { playerctl -p marrowtune "$@" 2>/dev/null; }
status_is() { [ "$(pc status)" = "$1" ]; }
title_is() { [ "$(pc metadata xesam:title)" = "$1" ]; }
# hear loud|quiet SECONDS WHAT: quiet for that long, or loud within eight such spans (a new
# player on a busy machine under the sanitizers takes a couple of seconds to be heard).
hear() {
    local level tries=8
    until level=$(rms "$2") && "$1" "$level"; do
        [ "$1" = loud ] && [ $((tries -= 1)) -gt 0 ] || fail "$3: RMS $level"
    done
    echo "$3: RMS $level"
}
geometry() { xwininfo -id "$APP_WINDOW" | awk '/Absolute|Width|Height/ {printf "%s ", $NF}'; }
above() { xprop -id "$APP_WINDOW" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
# Clicks a point of the client area (below the menu bar), in pixels.
click() { xdotool mousemove --window "$APP_WINDOW" "$1" $(($2 + menu)) click 1; }
time_box() { import -window "$APP_WINDOW" -crop "37x21+128+$((48 + menu))" +repage "$1"; }

# A fixed 400 x 184 client area under a menu bar (start_player found it by its title).
read -r width height < <(xwininfo -id "$APP_WINDOW" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
menu=$((height - 184))
[ "$width" -eq 400 ] && [ "$menu" -ge 15 ] && [ "$menu" -le 40 ] || fail "window is ${width}x$height"
hints=$(xprop -id "$APP_WINDOW" WM_NORMAL_HINTS)
grep -q "minimum size: 400 by $height" <<<"$hints" && grep -q "maximum size: 400 by $height" <<<"$hints" ||
    fail "resizable: $hints"

# What a screen reader is told: each control once, by name, reachable from the keyboard.
/usr/bin/python3 "$here/atspi_tree.py" "$APP_PID" 20 >"$out/accessibility_tree.tsv" || fail "no accessibility tree"
for control in "push button|play" "push button|stop" "push button|Pause" "push button|volume" \
    "push button|minimize" "push button|keep on top" "push button|aDD" "push button|rem()ve" \
    "push button|rem. aLL" "push button|l()ad lizt" "push button|saVe lizt" "push button|mute" \
    "check box|Keep On Top" "radio button|ranDom" "radio button|rezume" "radio button|n()ne" \
    "text|current file" "text|elapsed time" "slider|position" "slider|volume" "slider|balance" \
    "list|play list"; do
    awk -F'\t' -v c="$control" '$1 "|" $2 == c && $3 ~ /(^|,)focusable(,|$)/ {n++} END {exit n != 1}' \
        "$out/accessibility_tree.tsv" || fail "not one focusable control '$control'"
done
! awk -F'\t' '$2 ~ /^ *$/ && $3 ~ /(^|,)focusable(,|$)/' "$out/accessibility_tree.tsv" | grep -q . ||
    fail "focusable controls without a name"

add_file "$long"
add_file "$short"
sleep 0.2 # let the list show its new entries
click 100 136 # the first entry
click 350 94  # rezume
key alt+p
wait_for 30 status_is Playing || fail "status $(pc status) after Alt+P"
sleep 0.3
hear loud 0.5 playing
time_box "$session_dir/time1.png"
click 156 6 # Pause
sleep 0.3
hear quiet 0.5 paused
click 156 6 # Resume
hear loud 0.5 resumed
sleep 0.7 # past a whole second since the pause, so the time box shows another
time_box "$session_dir/time2.png"
changed=$(compare -metric AE "$session_dir/time1.png" "$session_dir/time2.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 0 ] 2>/dev/null || fail "the time box did not move ($changed pixels)"

before=$(geometry)
key ctrl+k
# sway keeps no X window above others, and says so by leaving the state out of its list.
if xprop -root _NET_SUPPORTED | grep -q _NET_WM_STATE_ABOVE; then
    wait_for 20 above || fail "Ctrl+K did not keep the window on top"
else
    echo "keep on top: the window manager keeps no window above others; only its place is checked"
fi
[ "$(geometry)" = "$before" ] || fail "keep on top moved the window: $before -> $(geometry)"
key ctrl+m
sleep 0.5
hear quiet 0.5 muted
key ctrl+m

# The sound server dies while a track plays and comes back. Under rezume the player pauses
# where the sound stopped instead of moving on; Resume without a server stays paused there, and
# once the server is back Resume goes on from there.
click 100 136
key alt+p
hear loud 0.5 "long track again"
sleep 2
kill -9 "$PULSE_PID"
wait_for 10 status_is Paused || fail "status $(pc status) a second after the sound server died"
place=$(pc position)
time_box "$session_dir/time3.png"
click 156 6 # Resume
sleep 1
status_is Paused || fail "status $(pc status) after Resume without a sound server"
note="xdotool search --onlyvisible --name '^Marrowtune: no sound\$'" # said once, never stacked
[ "$(sh -c "$note" | wc -l)" -eq 1 ] || fail "not one note of the lost sound: $(sh -c "$note")"
time_box "$session_dir/time4.png"
changed=$(compare -metric AE "$session_dir/time3.png" "$session_dir/time4.png" null: 2>&1 || true)
[ "${changed%% *}" = 0 ] || fail "the time box moved while the sound was gone ($changed pixels)"
start_sound
click 156 6 # Resume
hear loud 0.5 "server back"
title_is "$(basename "$long" .mp3)" || fail "moved on to $(pc metadata xesam:title)"
wait_for 20 sh -c "! $note" || fail "the note of the lost sound stayed once it played on"
awk -v p="$place" -v n="$(pc position)" 'BEGIN {exit !(p > 1 && n > p && n < p + 3)}' ||
    fail "went on at $(pc position) s, not from $place s"

key alt+s
sleep 0.3
hear quiet 0.5 stopped
wait_for 30 status_is Stopped || fail "status $(pc status) after Alt+S"
# A server that restarts while nothing plays is used by the next start.
kill -9 "$PULSE_PID"
start_sound
key alt+p
hear loud 0.5 "played once the sound server restarted while stopped"

key alt+p # closed while it plays, the program ends at once
sleep 0.3
close_window
wait_for 10 sh -c "! kill -0 $APP_PID" || fail "the player did not end within a second of closing"

# Opened from a file manager: started with a file, it plays it; a second launch with a folder
# and --enqueue hands the folder over and ends, and no second window appears.
start_player "$player" "$long"
wait_for 30 status_is Playing || fail "started with a file: $(pc status)"
hear loud 0.5 "started with a file"
mkdir -p "$session_dir/album"
ln -sf "$short" "$session_dir/album/$(basename "$short")"
timeout 10 "$player" --enqueue "$session_dir/album" >"$session_dir/second.log" 2>&1 ||
    fail "the second launch failed: $(cat "$session_dir/second.log")"
[ "$(xdotool search --onlyvisible --name '^Marrowtune$' | wc -l)" -eq 1 ] || fail "a second window"
title_is "$(basename "$long" .mp3)" || fail "not the file it was started with, or the enqueued folder changed the track"
pc next
wait_for 30 title_is "$(basename "$short" .mp3)" || fail "the folder is not in the list"

# Killed while it plays, a --remember start has the song back, paused where it was left, and
# Resume goes on from there.
kill "$APP_PID" && wait "$APP_PID" || true # its window gone before the next one is looked for
start_player "$player" --remember "$long"
wait_for 30 status_is Playing && sleep 2.5 && kill -9 "$APP_PID" || fail "--remember: $(pc status)"
wait "$APP_PID" || true
start_player "$player" --remember
wait_for 30 status_is Paused || fail "not back paused: $(pc status)"
place=$(pc position)
awk -v p="$place" 'BEGIN {exit !(p >= 0.5 && p < 3.5)}' || fail "back at $place"
sleep 3 # the user comes back to it a while later
pc play
sleep 2.5
awk -v p="$(pc position)" -v was="$place" 'BEGIN {exit !(p > was + 0.2)}' ||
    fail "Resume did not go on from $place: at $(pc position)"
hear loud 0.5 "resumed where it was left"
# Natively on Wayland no program can keep its window on top, and the check box says so;
# through XWayland it can, and says nothing of the kind.
cant='This desktop does not let a program keep its window on top.'
grep -q "$cant" "$out/accessibility_tree.tsv" && fail "keep on top said impossible on X"
if [ "${DESKTOP:-x11}" = sway ]; then
    QT_QPA_PLATFORM=wayland "$player" >"$session_dir/native.log" 2>&1 &
    pids+=($!)
    /usr/bin/python3 "$here/atspi_tree.py" $! 20 >"$out/native_tree.tsv" || fail "no native window"
    grep -qF "$(printf 'check box\tKeep On Top\t')" <(grep -F "$cant" "$out/native_tree.tsv") ||
        fail "natively on Wayland, Check3 does not say that keep on top cannot work"
    # A compositor with no input seat at all (weston, headless): the player says so, and a
    # text field does not bring it down.
    need weston
    mkdir -m 700 "$session_dir/weston"
    XDG_RUNTIME_DIR="$session_dir/weston" weston --backend=headless-backend.so --socket=seatless \
        --idle-time=0 >"$session_dir/weston.log" 2>&1 &
    pids+=($!)
    wait_for 50 test -S "$session_dir/weston/seatless" || fail "weston did not start"
    WAYLAND_DISPLAY="$session_dir/weston/seatless" QT_QPA_PLATFORM=wayland "$player" >"$session_dir/seatless.log" 2>&1 &
    pids+=($!)
    /usr/bin/python3 "$here/atspi_tree.py" $! 20 "saVe lizt" || fail "no window without a seat"
    sleep 1.5 # the input box paints its text field
    kill -0 "${pids[-1]}" && grep -q "no keyboard or pointer seat" "$session_dir/seatless.log" ||
        fail "without a seat: $(cat "$session_dir/seatless.log")"
fi
echo PASS
