# Sourced by the end-to-end tests: a private X display with a window manager and, when
# asked, a PulseAudio server with a null sink, all torn down when the test exits.
# Exit code 77 tells CTest that the test was skipped (only where a tool cannot run); in CI
# (CI=true) a skip fails, so the only tests on a real desktop never vanish unseen.

set -euo pipefail

session_dir=$(mktemp -d /tmp/marrowtune-e2e.XXXXXX)
# Kept lists and settings stay in the session, never the developer's own.
export XDG_CONFIG_HOME="$session_dir/config" XDG_DATA_HOME="$session_dir/data"
pids=()

cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
    rm -rf "$session_dir"
}
trap cleanup EXIT

skip() {
    if [ "${CI:-}" = true ]; then
        echo "FAIL: skipped in CI: $*"
        exit 1
    fi
    echo "SKIP: $*"
    exit 77 # what CTest takes for skipped
}

need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tries=$1
    shift
    until "$@" >/dev/null 2>&1; do
        [ $((tries -= 1)) -gt 0 ] || return 1
        sleep 0.1
    done
}

start_display() {
    # Xvfb picks a free display and writes its number once it accepts clients. -noreset:
    # otherwise it resets when its first client leaves and refuses whoever comes meanwhile.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$session_dir/display" \
        >"$session_dir/xvfb.log" 2>&1 &
    pids+=($!)
    wait_for 50 grep -q . "$session_dir/display" || skip "Xvfb did not start: $(cat "$session_dir/xvfb.log")"
    export DISPLAY=":$(cat "$session_dir/display")" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}

start_window_manager() {
    openbox --sm-disable >"$session_dir/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 50 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        skip "openbox did not start: $(cat "$session_dir/openbox.log")"
}

# The sound server keeps its files in a folder of its own, so it can be killed and started
# again under a running player.
start_sound() {
    local run="$session_dir/pulse"
    rm -rf "$run" && mkdir -m 700 "$run"
    export PULSE_SERVER="unix:$run/native"
    XDG_RUNTIME_DIR="$run" HOME="$session_dir" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --use-pid-file=no --load="module-null-sink sink_name=marrowtune_test" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$run/native" \
        >"$session_dir/pulse.log" 2>&1 &
    PULSE_PID=$!
    pids+=("$PULSE_PID")
    wait_for 100 pactl info || skip "PulseAudio did not start: $(tail -3 "$session_dir/pulse.log")"
}

# A session bus of its own; the accessibility bus and its registry start on it when asked for.
start_buses() {
    export XDG_RUNTIME_DIR="$session_dir/run" DBUS_SESSION_BUS_ADDRESS="unix:path=$session_dir/run/bus"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$session_dir/dbus.log" 2>&1 &
    pids+=($!)
    wait_for 50 dbus-send --session --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId ||
        skip "dbus-daemon did not start: $(cat "$session_dir/dbus.log")"
    # Qt shows its widgets to AT-SPI only while a screen reader is said to run, unless told to.
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
}

# rms SECONDS: the RMS level of what the null sink plays meanwhile (0 = silence, 1 = full
# scale). An idle null sink may deliver no samples at all: that is silence too.
rms() {
    local raw="$session_dir/rec.raw"
    timeout "$1" parec -d marrowtune_test.monitor --raw --format=s16le --rate=44100 --channels=2 >"$raw" || true
    [ -s "$raw" ] || { echo 0; return; }
    sox -t raw -r 44100 -e signed -b 16 -c 2 "$raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}'
}
loud() { awk -v r="$1" 'BEGIN {exit !(r > 0.02)}'; }
quiet() { awk -v r="$1" 'BEGIN {exit !(r < 0.001)}'; }

# Starts the player; sets APP_PID and APP_WINDOW.
start_player() {
    "$@" >"$session_dir/app.log" 2>&1 &
    APP_PID=$!
    pids+=("$APP_PID")
    wait_for 100 xdotool search --onlyvisible --name '^Marrowtune$' ||
        { cat "$session_dir/app.log"; echo "FAIL: no window"; exit 1; }
    APP_WINDOW=$(xdotool search --onlyvisible --name '^Marrowtune$' | head -1)
}

# Keys to the player's window, as a person types them.
key() { xdotool windowactivate --sync "$APP_WINDOW" key --clearmodifiers "$@"; }

# add_file PATH: Ctrl+F, the path typed into "Load your MP3.", Enter.
add_file() {
    key ctrl+f
    local dialog
    dialog=$(xdotool search --sync --onlyvisible --name '^Load your MP3\.$' | head -1)
    [ -n "$dialog" ] || fail "no file dialog"
    xdotool windowactivate --sync "$dialog" type --delay 5 "$1"
    xdotool key --clearmodifiers Return
    wait_for 50 sh -c "! xdotool search --onlyvisible --name '^Load your MP3\.\$'" || fail "the dialog stayed open"
}

# shot FILE [WINDOW]: a PNG of the window's client area (or of the whole screen).
shot() { import -window "${2:-root}" "$1"; }
