# Sourced by the benchmark scripts: rows of figures, the CPU and wake-ups of a process, and
# where sound starts or stops in a recording of a null sink's monitor (s16le stereo at $rate).
rate=44100
bytes_per_second=$((rate * 4))
level=1000 # about -30 dBFS: clearly sound, well above any dither
# A change is heard once the channel stays 18 dB below the tone (-6 dBFS): muted it is 0, at
# the quietest volume 25 dB down, with the balance at one end the other side 50 dB down.
quiet=2048

row() { printf '%s\t%s\t%s\t%s\t%s\n' "$@"; }

# CPU time a process has used so far, in nanoseconds, summed over its threads (the
# scheduler's own count: finer than the clock ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'; }
worst() { sort -n | tail -1; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
percent() { awk -v t="$1" -v s="$2" 'BEGIN { printf "%.2f\n", 100 * t / 1e9 / s }'; }
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
verdict() { if le "$1" "$2"; then echo ok; else echo missed; fi; }

# Context switches so far of each thread of a process: "tid name all voluntary" lines. A
# thread that sleeps and is woken counts a voluntary one; a thread the scheduler puts aside
# for another, however busy the rest of the machine is, counts an involuntary one.
switches() {
    local t
    for t in /proc/"$1"/task/*; do
        printf '%s %s %s\n' "${t##*/}" "$(tr ' ' _ <"$t/comm" 2>/dev/null)" \
            "$(awk '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 }
                END { print v + n, v + 0 }' "$t/status" 2>/dev/null)"
    done | sort
}

# CPU and context switches of several processes over the same $1 seconds, one line each:
# CPU as % of one core, switches per second of the whole process, each thread's switches
# per second ("name:n", busiest first; threads gone meanwhile are not counted), then the
# voluntary switches per second of the whole process: its own wake-ups.
load_figures() {
    local seconds=$1 p i=0 threads
    shift
    local cpu=() ctx=()
    for p in "$@"; do
        cpu+=("$(cpu_ns "$p")")
        ctx+=("$(switches "$p")")
    done
    sleep "$seconds"
    for p in "$@"; do
        printf '%s\t' "$(percent $(($(cpu_ns "$p") - cpu[i])) "$seconds")"
        join <(printf '%s\n' "${ctx[i]}") <(switches "$p") |
            awk -v s="$seconds" -v woken="$session_dir/woken" '{ d = ($6 - $3) / s; t += d; w += ($7 - $4) / s
                    if (d > 0) printf "%s:%.1f\n", $2, d > "/dev/stderr" }
                END { printf "%.1f\t", t; printf "%.1f\n", w > woken }' 2>"$session_dir/threads"
        threads=$(sort -t: -k2 -rn "$session_dir/threads" | paste -sd' ' | sed 's/^$/none/')
        printf '%s\t%s\n' "$threads" "$(cat "$session_dir/woken")"
        i=$((i + 1))
    done
}

# The milliseconds from byte offset $2 of the monitor recording $1 to its first sample louder
# than $level; empty if there is none.
first_sound_ms() {
    od -An -v -td2 -w2 -j "$2" -N $((bytes_per_second * 3)) "$1" |
        awk -v l="$level" -v r="$rate" '!found { v = $1 < 0 ? -$1 : $1; if (v > l) { printf "%d\n", (NR - 1) / 2 / r * 1000; found = 1 } }'
}

# The milliseconds from byte offset $2 of the monitor recording $1 to the start of the first
# 5 ms in which channel $3 (0 left, 1 right) stays below $quiet; empty if there is none. A
# sine passes zero, but for far less than 5 ms.
first_low_ms() {
    od -An -v -td2 -w2 -j "$2" -N $((bytes_per_second * 2)) "$1" |
        awk -v c="$3" -v l="$quiet" -v r="$rate" '(NR - 1) % 2 == c && !found { n++
            v = $1 < 0 ? -$1 : $1; if (v < l) { if (!run) start = n; run++ } else run = 0
            if (run >= r / 200) { printf "%d\n", (start - 1) / r * 1000; found = 1 } }'
}

# The byte offset, at a whole frame, the recording $1 has reached now.
offset_now() {
    local o
    o=$(stat -c %s "$1")
    echo $((o / 4 * 4))
}
