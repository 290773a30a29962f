#!/usr/bin/env bash
# What a waiting program costs: the share of one core the whole process and
# each of its threads use over a few seconds on a still screen, under a private
# Xvfb with no window manager. MORV at the title menu and in a human turn (a
# 40 x 25 text screen), the gallery and fonts examples (640 x 480 32-bit), and
# bench/idle_screen in mode 13 (320 x 200, 256 colours), mode 12 (640 x 480, 16
# colours) and a 640 x 480 256-colour image made the screen.
# Usage: bench/idle_cpu.sh BUILD_FOLDER [SECONDS] [--threads]
set -u
build=$1 seconds=${2:-4} threads=${3:-}
source "$(dirname "$0")/../tests/e2e/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
hz=$(getconf CLK_TCK)

# utime + stime of one /proc stat line (the fields after the command's parentheses).
ticks() { sed 's/^.*) //' "$1" 2> /dev/null | awk '{print $12 + $13}'; }

# Prints the share of a core, in %, of the process (and with --threads of each
# thread) over $seconds.
measure() {
    local label=$1 t tid
    declare -A before name
    local total_before total_after
    total_before=$(ticks /proc/$APP_PID/stat)
    for t in /proc/$APP_PID/task/*; do
        tid=${t##*/}
        before[$tid]=$(ticks $t/stat)
        name[$tid]=$(cat $t/comm)
    done
    sleep "$seconds"
    total_after=$(ticks /proc/$APP_PID/stat)
    awk -v l="$label" -v d=$((total_after - total_before)) -v hz=$hz -v s=$seconds \
        'BEGIN { printf "%-34s process %5.2f %% of a core\n", l, 100 * d / hz / s }'
    [ "$threads" = --threads ] || return 0
    for tid in $(printf '%s\n' "${!before[@]}" | sort -n); do
        local after
        after=$(ticks /proc/$APP_PID/task/$tid/stat) || continue
        [ -z "$after" ] && continue
        local role=${name[$tid]}
        [ "$tid" = "$APP_PID" ] && role="$role (event thread)"
        awk -v r="$role" -v tid=$tid -v d=$((after - ${before[$tid]})) -v hz=$hz -v s=$seconds \
            'BEGIN { if (d > 0) printf "             %-28s %6d %5.2f %%\n", r, tid, 100 * d / hz / s }'
    done
}

# Starts a program, waits for its window and for its picture to settle,
# measures, and ends it.
measure_program() {
    local label=$1 title=$2; shift 2
    "$@" 2> /dev/null &
    APP_PID=$!
    find_window "$title" > /dev/null || fail "$label: no window named $title"
    sleep 2
    measure "$label"
    kill $APP_PID; wait $APP_PID 2> /dev/null; APP_PID=""
}

"$build/morv" 2> /dev/null &
APP_PID=$!
win=$(find_window MORV) || fail "no window named MORV"
xdotool windowfocus --sync "$win" 2> /dev/null
sleep 1.5                      # the title screen is up and settled
measure "morv, title menu (40 x 25 text)"
xdotool key --window "$win" 5  # Play!
sleep 4                        # the powerup draw pauses 3 s, then the turn waits for keys
measure "morv, human turn"
kill $APP_PID; wait $APP_PID 2> /dev/null; APP_PID=""

measure_program "gallery (640 x 480, 32-bit)" Gallery "$build/examples/gallery"
(cd "$build/examples" && measure_program "fonts (640 x 480, 32-bit)" Fonts ./fonts)
measure_program "mode 13 (320 x 200, 256 colours)" Idle "$build/bench/idle_screen" 13
measure_program "mode 12 (640 x 480, 16 colours)" Idle "$build/bench/idle_screen" 12
measure_program "640 x 480 image, 256 colours" Idle "$build/bench/idle_screen" 256
