#!/usr/bin/env bash
# The sound server dies in the middle of a track and comes back. The player must keep
# answering, start a track (silently) while the server is gone, and be heard again on the
# next Play once it is back. Sound is measured at the private server's null sink.
# usage: pulse_restart_test.sh DRIVER FIXTURE
driver=$1
fixture=$(realpath "$2")
here=$(dirname "$0")
. "$here/../e2e/desktop_session.sh"
start_sound
pulse_pid=${pids[-1]}

fail() {
    echo "FAIL: $*"
    sed 's/^/  driver stderr: /' "$session_dir/driver.log"
    exit 1
}

coproc DRIVER { QT_QPA_PLATFORM=offscreen exec "$driver" 2>"$session_dir/driver.log"; }
pids+=("$DRIVER_PID")
say() { echo "$*" >&"${DRIVER[1]}"; }
# hear PATTERN: reads the driver's lines, each within 5 s, until one matches; sets HEARD.
hear() {
    local line
    while IFS= read -r -t 5 line <&"${DRIVER[0]}"; do
        echo "  driver: $line"
        if [[ $line == $1 ]]; then
            HEARD=$line
            return 0
        fi
    done
    return 1
}

say "play $fixture"
hear "started 1 *" || fail "the first track did not start"
sleep 0.5 # the stream reaches the sink a little after play() returns
level=$(rms 1.5)
loud "$level" || fail "no sound before the server died (RMS $level)"
echo "playing: RMS $level"

kill -9 "$pulse_pid"
wait "$pulse_pid" 2>/dev/null || true
hear "end 1" || fail "the track that lost its server did not end as broken off"
say ping
hear "pong *" || fail "the window stopped answering after the server died"

# Nothing to play to: the track must start silently, without a long wait.
say "play $fixture"
hear "started *" || fail "Play hung while the server was gone"
read -r _ ok ms <<<"$HEARD"
echo "play without a server: started=$ok after $ms ms"
[ "$ms" -lt 2000 ] || fail "play() blocked for $ms ms"

rm -rf "$XDG_RUNTIME_DIR" # start_sound makes it afresh
start_sound
say "play $fixture"
hear "started 1 *" || fail "the track did not start after the server came back"
sleep 0.5
level=$(rms 1.5)
loud "$level" || fail "no sound after the server came back (RMS $level)"
echo "server back: RMS $level"

say quit
hear bye || fail "the driver did not quit"
echo PASS
