# The private desktop that the end-to-end tests, the benchmarks, the monkey run and the
# package test are sourced into: a display (Xvfb with openbox, or headless sway with
# XWayland), a session bus, and when asked a sound server (PulseAudio or PipeWire) with a null
# sink, all torn down when the caller exits. Exit code 77 tells CTest that a test was skipped
# (only where a tool cannot run); in CI (CI=true) a skip fails, so the tests on a real desktop
# never vanish unseen.

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

# DESKTOP says which display: x11 (the default: Xvfb with openbox) or sway, a Wayland
# compositor with XWayland, headless, the environment set as a Wayland session sets it
# (WAYLAND_DISPLAY and DISPLAY, no QT_QPA_PLATFORM).
start_display() {
    [ "${DESKTOP:-x11}" != sway ] || { start_sway; return; }
    # Xvfb picks a free display and writes its number once it accepts clients. -noreset:
    # otherwise it resets when its first client leaves and refuses whoever comes meanwhile.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$session_dir/display" \
        >"$session_dir/xvfb.log" 2>&1 &
    pids+=($!)
    wait_for 50 grep -q . "$session_dir/display" || skip "Xvfb did not start: $(cat "$session_dir/xvfb.log")"
    export DISPLAY=":$(cat "$session_dir/display")" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}

# sway refuses to run as root: there it runs as nobody, and lets root's programs onto its
# XWayland display.
start_sway() {
    need sway Xwayland xhost
    local run="$session_dir/wayland" user=()
    mkdir -m 700 "$run"
    cat >"$session_dir/sway.conf" <<CONF
output HEADLESS-1 resolution 1024x768
xwayland force
exec sh -c 'xhost +si:localuser:$(id -un) >/dev/null && echo "\$WAYLAND_DISPLAY \$DISPLAY" >$run/displays'
CONF
    if [ "$(id -u)" -eq 0 ]; then
        chmod 711 "$session_dir"
        chmod 644 "$session_dir/sway.conf"
        chown nobody:nogroup "$run"
        mkdir -p -m 1777 /tmp/.X11-unix
        user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    env XDG_RUNTIME_DIR="$run" HOME="$run" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
        WLR_RENDERER=pixman "${user[@]}" sway -c "$session_dir/sway.conf" >"$session_dir/sway.log" 2>&1 &
    pids+=($!)
    wait_for 100 test -s "$run/displays" || skip "sway did not start: $(tail -3 "$session_dir/sway.log")"
    read -r WAYLAND_DISPLAY DISPLAY <"$run/displays"
    SWAYSOCK=$(echo "$run"/sway-ipc.*.sock)
    export WAYLAND_DISPLAY="$run/$WAYLAND_DISPLAY" DISPLAY XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
    unset QT_QPA_PLATFORM
}

start_window_manager() {
    [ "${DESKTOP:-x11}" = sway ] && return # sway manages the windows itself
    openbox --sm-disable >"$session_dir/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 50 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
        skip "openbox did not start: $(cat "$session_dir/openbox.log")"
}

# The sound server keeps its files in a folder of its own, so it can be killed and started
# again under a running player. SOUND_SERVER says which: pulseaudio (the default) or pipewire
# with its session manager and PulseAudio service, as most desktops now have it. PULSE_PID
# is the process whose death takes the player's sound away: the server itself (under
# PipeWire the daemon, which takes the other two down with it, as a crash does on a desktop).
start_sound() {
    local run="$session_dir/sound" server=${SOUND_SERVER:-pulseaudio} p
    # What is left of a server that was killed goes first.
    { kill "${sound_pids[@]}" && wait "${sound_pids[@]}"; } 2>/dev/null || true
    rm -rf "$run" && mkdir -m 700 "$run"
    export PULSE_SERVER="unix:$run/native"
    case "$server" in
    pipewire)
        need pipewire wireplumber pipewire-pulse
        # The session manager needs a session bus; a session without one gets its own.
        [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || start_bus
        local env=(env XDG_RUNTIME_DIR="$run" PIPEWIRE_RUNTIME_DIR="$run" PULSE_RUNTIME_PATH="$run"
            HOME="$session_dir")
        "${env[@]}" pipewire >"$session_dir/sound.log" 2>&1 &
        PULSE_PID=$!
        sound_pids=("$PULSE_PID") && pids+=("$PULSE_PID")
        wait_for 50 test -S "$run/pipewire-0" || skip "PipeWire did not start: $(tail -3 "$session_dir/sound.log")"
        for p in wireplumber pipewire-pulse; do
            "${env[@]}" "$p" >>"$session_dir/sound.log" 2>&1 &
            sound_pids+=($!) && pids+=($!)
        done
        ;;
    *)
        XDG_RUNTIME_DIR="$run" HOME="$session_dir" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
            --use-pid-file=no --load="module-null-sink sink_name=marrowtune_test" \
            --load="module-native-protocol-unix auth-anonymous=1 socket=$run/native" \
            >"$session_dir/sound.log" 2>&1 &
        PULSE_PID=$!
        sound_pids=("$PULSE_PID") && pids+=("$PULSE_PID")
        ;;
    esac
    wait_for 100 pactl info || skip "$server did not start: $(tail -3 "$session_dir/sound.log")"
    if [ "$server" = pipewire ]; then
        # The default sink can be set once the session manager is up: that is the wait for it.
        pactl load-module module-null-sink sink_name=marrowtune_test >>"$session_dir/sound.log" 2>&1 &&
            wait_for 50 pactl set-default-sink marrowtune_test ||
            skip "no null sink: $(tail -3 "$session_dir/sound.log")"
    fi
}
sound_pids=()

# A session bus of its own; the accessibility bus and its registry start on it when asked for.
start_buses() {
    start_bus
    # Qt shows its widgets to AT-SPI only while a screen reader is said to run, unless told to.
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
}
start_bus() {
    export XDG_RUNTIME_DIR="$session_dir/run" DBUS_SESSION_BUS_ADDRESS="unix:path=$session_dir/run/bus"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$session_dir/dbus.log" 2>&1 &
    pids+=($!)
    wait_for 50 dbus-send --session --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId ||
        skip "dbus-daemon did not start: $(cat "$session_dir/dbus.log")"
}

# rms SECONDS: the RMS level of what the null sink plays meanwhile (0 = silence, 1 = full
# scale). An idle null sink may deliver no samples at all: that is silence too. A small
# buffer: PipeWire's default one would hold back most of a short recording.
rms() {
    local raw="$session_dir/rec.raw"
    timeout "$1" parec -d marrowtune_test.monitor --latency-msec=20 --raw --format=s16le --rate=44100 --channels=2 >"$raw" || true
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
    centred_on "$dialog" "$APP_WINDOW" ||
        fail "the file dialog opened at $(rect "$dialog"), away from the window at $(rect "$APP_WINDOW")"
    xdotool windowactivate --sync "$dialog" type --delay 5 "$1"
    xdotool key --clearmodifiers Return
    wait_for 50 sh -c "! xdotool search --onlyvisible --name '^Load your MP3\.\$'" || fail "the dialog stayed open"
}

# rect WINDOW: "x y width height" of the window on the screen, in pixels.
rect() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}

# centred_on WINDOW OTHER: the centres of the two windows are less than 50 pixels apart.
centred_on() {
    awk -v a="$(rect "$1")" -v b="$(rect "$2")" 'BEGIN { split(a, p); split(b, q)
        dx = p[1] + p[3] / 2 - q[1] - q[3] / 2; dy = p[2] + p[4] / 2 - q[2] - q[4] / 2
        exit !(dx * dx < 2500 && dy * dy < 2500) }'
}

# close_window: the desktop's close command for the player's window (Alt+F4 with openbox;
# sway takes no keys from XWayland's test input, so its own command).
close_window() {
    [ "${DESKTOP:-x11}" = sway ] && swaymsg -s "$SWAYSOCK" '[title="^Marrowtune$"] kill' >/dev/null || key alt+F4
}

# shot FILE [WINDOW]: a PNG of the window's client area (or of the whole screen).
# XWayland shows no screen: there the compositor takes the whole screen.
shot() { if [ -z "${2:-}" ] && [ "${DESKTOP:-x11}" = sway ]; then grim "$1"; else import -window "${2:-root}" "$1"; fi; }
