#!/usr/bin/env bash
# What a screen reader finds: the running player's controls as AT-SPI shows them, each with
# the name and role it is spoken by, the hidden ones still reachable, and no control that
# takes the keyboard focus without a name. Runs on its own session bus and accessibility bus.
# usage: accessibility_test.sh PLAYER OUTPUT_DIR
player=$1
out=$2
here=$(dirname "$0")
. "$here/desktop_session.sh"
mkdir -p "$out"

fail() {
    echo "FAIL: $*"
    exit 1
}

# Debian 12 keeps the AT-SPI daemons in /usr/libexec, older releases in /usr/lib/at-spi2-core.
launcher="" registry=""
for dir in /usr/lib/at-spi2-core /usr/libexec; do
    if [ -x "$dir/at-spi-bus-launcher" ] && [ -x "$dir/at-spi2-registryd" ]; then
        launcher=$dir/at-spi-bus-launcher registry=$dir/at-spi2-registryd
    fi
done
[ -n "$launcher" ] || skip "the AT-SPI daemons are not installed (at-spi2-core)"
need dbus-daemon dbus-send
# The Debian interpreter: the one first on PATH may not see Debian's Python modules.
python=/usr/bin/python3
"$python" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
    skip "python3-gi or gir1.2-atspi-2.0 is not installed"

start_display
start_window_manager

# A session bus of our own; the accessibility bus puts its socket in XDG_RUNTIME_DIR.
export XDG_RUNTIME_DIR="$session_dir/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$session_dir/dbus.log" 2>&1 &
pids+=($!)
wait_for 50 dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId ||
    skip "dbus-daemon did not start: $(cat "$session_dir/dbus.log")"

# Asking before a name is taken would have D-Bus start a second daemon of its own.
owned() {
    dbus-send "$1" --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$2" | grep -q true
}
"$launcher" --launch-immediately >"$session_dir/atspi.log" 2>&1 &
pids+=($!)
wait_for 50 owned --session org.a11y.Bus ||
    skip "the accessibility bus did not start: $(cat "$session_dir/atspi.log")"
a11y_bus=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress | tr -d '[:space:]')
"$registry" >>"$session_dir/atspi.log" 2>&1 &
pids+=($!)
wait_for 50 owned --bus="$a11y_bus" org.a11y.atspi.Registry ||
    skip "the AT-SPI registry did not start: $(cat "$session_dir/atspi.log")"

# Qt exposes its widgets only while a screen reader is said to run, unless told always to.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
start_player "$player"

tree=$out/accessibility_tree.tsv
"$python" "$here/atspi_tree.py" "$APP_PID" 20 >"$tree" ||
    { cat "$session_dir/app.log"; fail "could not read the player's accessibility tree"; }
echo "The accessibility tree (role \"name\" [states]):"
awk -F'\t' '{ printf "%*s%s \"%s\" [%s]\n", 2 * $1, "", $2, $3, $4 }' "$tree"

problems=0
problem() {
    echo "FAIL: $*"
    problems=$((problems + 1))
}

# role|name: each control once, each reachable from the keyboard. Mute and balance lie
# clipped outside their frame, the check box behind the keep-on-top button.
expected=(
    "push button|play" "push button|stop" "push button|Pause" "push button|volume"
    "push button|minimize" "push button|keep on top" "push button|aDD" "push button|rem()ve"
    "push button|rem. aLL" "push button|l()ad lizt" "push button|saVe lizt" "push button|mute"
    "check box|Keep On Top"
    "radio button|ranDom" "radio button|rezume" "radio button|n()ne"
    "text|current file" "text|elapsed time"
    "slider|position" "slider|volume" "slider|balance"
    "list|play list"
)
for control in "${expected[@]}"; do
    role=${control%%|*}
    name=${control#*|}
    found=$(awk -F'\t' -v role="$role" -v name="$name" '$2 == role && $3 == name' "$tree")
    count=$(grep -c . <<<"$found" || true)
    if [ "$count" -ne 1 ]; then
        problem "expected one $role named '$name', found $count"
    elif ! grep -Eq '(^|,)focusable(,|$)' <<<"$(cut -f4 <<<"$found")"; then
        problem "the $role '$name' cannot take the keyboard focus"
    fi
done

unnamed=$(awk -F'\t' '$3 ~ /^ *$/ && $4 ~ /(^|,)focusable(,|$)/ { print $2 }' "$tree")
[ -z "$unnamed" ] || problem "focusable controls without a name: $(tr '\n' ' ' <<<"$unnamed")"

# What changes is spoken as it is shown: the volume readout and slider hold the engine's
# level from the start, the text boxes their text; the mute state and keep on top are told
# once changed from the keyboard.
field() { awk -F'\t' -v role="$1" -v name="$2" -v col="$3" '$2 == role && $3 == name { print $col; exit }' "$tree"; }
[ -n "$(field label "100 %" 2)" ] || problem "the volume readout is not spoken as \"100 %\""
[ "$(field slider volume 6)" = 2500 ] || problem "the volume slider's value is '$(field slider volume 6)'"
[[ "$(field text "current file" 7)" == *"song file will show"* ]] ||
    problem "the current-file box's text is '$(field text "current file" 7)'"
key ctrl+m
key ctrl+k
sleep 0.3
"$python" "$here/atspi_tree.py" "$APP_PID" 20 >"$tree" || fail "could not read the tree again"
[ "$(field "push button" mute 5)" = "Sound is muted" ] ||
    problem "the mute button's description is '$(field "push button" mute 5)' after Ctrl+M"
grep -Eq '(^|,)checked(,|$)' <<<"$(field "menu item" "Keep on Top" 4)" ||
    problem "the Keep on Top item is not checked after Ctrl+K: $(field "menu item" "Keep on Top" 4)"

[ "$problems" -eq 0 ] || exit 1
echo PASS
