#!/usr/bin/env bash
# Start-up time: the median, fastest and slowest of 10 starts of a program,
# each from the start until its window is mapped, and until the window first
# shows anything but black, under a private Xvfb with no window manager. The sound goes to SDL's dummy driver (the test machines have
# no sound card); nothing else is set, so the window system's own probing
# counts as it does for a user.
# Usage: bench/startup.sh BUILD_FOLDER [PROGRAM [ARGS...]]   (default: BUILD/morv)
set -u
build=$1; shift
[ $# -gt 0 ] || set -- "$build/morv"
probe=$build/bench/startup_probe
source "$(dirname "$0")/../tests/e2e/lib.sh"
[ -x "$probe" ] || fail "the helper $probe is not built"
start_xvfb
export SDL_AUDIODRIVER=dummy
runs=10
times=()
for ((i = 0; i < runs; i++)); do
    t=$("$probe" "$@" 2> "$build/startup_probe.err") || fail "start $((i + 1)): $(grep startup_probe: "$build/startup_probe.err")"
    times+=("$t")
done
# The median, fastest and slowest of column $1 of the times.
summary() {
    printf '%s\n' "${times[@]}" | awk -v c="$1" '{ print $c }' | sort -n | awk '
        { t[NR] = $1 }
        END { printf "%.0f ms (median of %d starts; fastest %.0f, slowest %.0f)",
                     (t[int((NR + 1) / 2)] + t[int(NR / 2) + 1]) / 2, NR, t[1], t[NR] }'
}
echo "$(basename "$1"): window mapped after $(summary 1)"
echo "$(basename "$1"): first picture after $(summary 2)"
