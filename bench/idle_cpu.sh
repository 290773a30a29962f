#!/usr/bin/env bash
# What a waiting MORV costs: the share of one core the whole process and each of
# its threads use over a few seconds at the title menu and in a human turn,
# under a private Xvfb with no window manager.
# Usage: bench/idle_cpu.sh MORV_BINARY [SECONDS]
set -u
morv=$1 seconds=${2:-4}
source "$(dirname "$0")/../tests/e2e/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
hz=$(getconf CLK_TCK)

"$morv" 2> /dev/null &
APP_PID=$!
win=$(find_window MORV) || fail "no window named MORV"
xdotool windowfocus --sync "$win" 2> /dev/null

# utime + stime of one /proc stat line (the fields after the command's parentheses).
ticks() { sed 's/^.*) //' "$1" 2> /dev/null | awk '{print $12 + $13}'; }

# Prints the share of a core, in %, of the process and of each thread over $seconds.
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
        'BEGIN { printf "%-12s process %5.2f %%\n", l, 100 * d / hz / s }'
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

sleep 1.5                      # the title screen is up and settled
measure "title menu"
xdotool key --window "$win" 5  # Play!
sleep 4                        # the powerup draw pauses 3 s, then the turn waits for keys
measure "human turn"
kill $APP_PID; APP_PID=""
