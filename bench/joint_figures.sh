#!/usr/bin/env bash
# The silence a listener hears where one track joins the next in mode "rezume", at a
# PulseAudio null sink: two 3 s tones of the same pitch (a whole number of periods, so the
# joined sound is one unbroken tone), for CBR and VBR files with and without the encoder's
# header, and from 44.1 kHz to 48 kHz. Each is played the old way (the second track started
# after the first has ended) and queued (joined without a gap), and the engine's notice of
# the new track is timed against its first sound.
# Output: one tab-separated line per figure (figure, measured, reference, target, verdict).
# usage: joint_figures.sh BENCH_JOINT_PLAYER
player=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../scripts/desktop_session.sh
. "$here/../scripts/desktop_session.sh"

start_sound
need lame

rate=44100
level=33 # -60 dBFS: quieter than this is silence
row() { printf '%s\t%s\t%s\t%s\t%s\n' "$@"; }
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
verdict() { if le "$1" "$2"; then echo ok; else echo missed; fi; }

tone() { # tone RATE FILE.wav
    sox -n -r "$1" -c 2 -b 16 "$2" synth 3.0 sine 440 vol 0.5
}
tone 44100 "$session_dir/t44.wav"
tone 48000 "$session_dir/t48.wav"
lame --quiet -b 128 "$session_dir/t44.wav" "$session_dir/cbr.mp3"
lame --quiet -b 128 -t "$session_dir/t44.wav" "$session_dir/cbr_bare.mp3"
lame --quiet -V 2 "$session_dir/t44.wav" "$session_dir/vbr.mp3"
lame --quiet -V 2 -t "$session_dir/t44.wav" "$session_dir/vbr_bare.mp3"
lame --quiet -b 128 "$session_dir/t48.wav" "$session_dir/cbr48.mp3"

# The longest silence, in ms, between the first and the last sound of a monitor recording.
longest_silence_ms() {
    od -An -v -td2 -w4 "$1" |
        awk -v l="$level" -v r="$rate" '
            { a = $1 < 0 ? -$1 : $1 }
            a > l { if (seen && run > longest) longest = run; seen = 1; run = 0; next }
            seen { run++ }
            END { printf "%.1f\n", longest / r * 1000 }'
}

# joint ROAD FIRST SECOND: plays both while the null sink's monitor is recorded.
joint() {
    local raw="$session_dir/joint.raw"
    parec -d marrowtune_test.monitor --raw --format=s16le --rate="$rate" --channels=2 \
        --latency-msec=5 >"$raw" 2>/dev/null &
    local rec=$!
    sleep 0.5
    "$player" "$1" "$2" "$3" >/dev/null 2>&1 || echo "joint: $1 $2 failed" >&2
    sleep 0.3
    kill "$rec"
    wait "$rec" 2>/dev/null || true
    longest_silence_ms "$raw"
}

for pair in "CBR 128 kbit/s, encoder header:cbr:cbr" "CBR 128 kbit/s, no header:cbr_bare:cbr_bare" \
    "VBR -V 2, encoder header:vbr:vbr" "VBR -V 2, no header:vbr_bare:vbr_bare" \
    "44.1 kHz -> 48 kHz, encoder header:cbr:cbr48"; do
    IFS=: read -r name a b <<<"$pair"
    echo "joints: $name" >&2
    before=$(joint restart "$session_dir/$a.mp3" "$session_dir/$b.mp3")
    after=$(joint queued "$session_dir/$a.mp3" "$session_dir/$b.mp3")
    case $name in
    *"no header"*) target="-" ;; # the decoder cannot know the encoder's delay
    *kHz*) target="-" ;;                         # the sound output is opened anew
    *) target="<= 5 ms" ;;
    esac
    if [ "$target" = "-" ]; then result="-"; else result=$(verdict "$after" 5); fi
    row "silence at the joint, $name" "$after ms" "$before ms (started after the end)" "$target" "$result"
done

lags=()
for _ in 1 2 3; do lags+=("$("$player" queued --lag "$session_dir/cbr.mp3" "$session_dir/cbr.mp3")"); done
lag=$(printf '%s\n' "${lags[@]}" | sort -n | tail -1)
row "new track shown after its first sound (worst of 3)" "$lag ms" "-" "<= 50 ms" "$(verdict "$lag" 50)"
