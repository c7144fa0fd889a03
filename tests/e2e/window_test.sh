#!/usr/bin/env bash
# The real player in a real window: its title, its size, a screenshot to look at, and
# closing it while a track plays.
# usage: window_test.sh PLAYER OUTPUT_DIR FIXTURE
player=$1
out=$2
fixture=$(realpath "$3")
here=$(dirname "$0")
. "$here/desktop_session.sh"
mkdir -p "$out"

start_display
start_window_manager
start_player "$player"
fail() {
    echo "FAIL: $*"
    exit 1
}

title=$(xdotool getwindowname "$APP_WINDOW")
[ "$title" = "Marrowtune" ] || { echo "FAIL: title is '$title'"; exit 1; }

# The X window holds the menu bar and the 400 x 184 client area below it.
read -r width height < <(xwininfo -id "$APP_WINDOW" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
menu=$((height - 184))
if [ "$width" -ne 400 ] || [ "$menu" -lt 15 ] || [ "$menu" -gt 40 ]; then
    echo "FAIL: window is ${width}x${height}, expected 400 wide and 184 plus a menu bar high"
    exit 1
fi
# Fixed size: the window manager was told it cannot be resized.
hints=$(xprop -id "$APP_WINDOW" WM_NORMAL_HINTS)
grep -q "minimum size: 400 by $height" <<<"$hints" && grep -q "maximum size: 400 by $height" <<<"$hints" ||
    { echo "FAIL: resizable: $hints"; exit 1; }

sleep 0.3 # let the first timer tick paint the time box
shot "$out/main_window.png" "$APP_WINDOW"
echo "window ${width}x${height} (client 400x184 below a ${menu}px menu bar); screenshot: $out/main_window.png"

# With no sound server the track plays silently; the time box shows that it plays.
add_file "$fixture"
sleep 0.5
xdotool mousemove --window "$APP_WINDOW" 100 $((136 + menu)) click 1
key alt+p
time_box() { import -window "$APP_WINDOW" -crop "37x21+128+$((48 + menu))" +repage "$1"; }
sleep 0.3
time_box "$session_dir/t1.png"
sleep 1.5
time_box "$session_dir/t2.png"
changed=$(compare -metric AE "$session_dir/t1.png" "$session_dir/t2.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 0 ] 2>/dev/null || fail "the track did not play (time box unchanged)"

# Closing the window while it plays (the window manager's close, Alt+F4 in openbox) ends
# the program at once.
key alt+F4
for _ in $(seq 400); do xdotool search --onlyvisible --name '^Marrowtune$' >/dev/null 2>&1 || break; sleep 0.005; done
closed=$(date +%s%N)
for _ in $(seq 400); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.005; done
kill -0 "$APP_PID" 2>/dev/null && fail "the player did not end when its window closed"
lingered=$((($(date +%s%N) - closed) / 1000000))
echo "the process ended ${lingered} ms after its window closed"
[ "$lingered" -le 300 ] || fail "the process lingered ${lingered} ms after its window closed"
echo PASS
