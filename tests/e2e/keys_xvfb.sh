#!/usr/bin/env bash
# Real key presses from outside reach the program's key reads: xdotool types
# into the runtime's window and a program echoes the key strings it reads.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
out="$build/e2e_keys.out"
: > "$out"
"$build/tests/key_echo" > "$out" 2> "$build/e2e_keys.err" &
APP_PID=$!
win=$(focus_window KEYS) || fail "no window named KEYS to focus"

# Each key, then what the program must read for it.
keys=(Up Home Prior 5 a shift+a ctrl+a)
want=("0 72" "0 71" "0 73" "53" "97" "65" "1")
has_lines() { [ "$(wc -l < "$out")" -ge "$1" ]; }
for k in "${!keys[@]}"; do
    xdotool key "${keys[$k]}"
    wait_for 50 has_lines $((k + 1)) || fail "no key string read for ${keys[$k]}"
    got=$(sed -n "$((k + 1))p" "$out")
    [ "$got" = "${want[$k]}" ] || fail "${keys[$k]} read as '$got', expected '${want[$k]}'"
done

close_and_expect_exit "$build" KEYS
echo "Up, Home, Page Up, 5, a, Shift+a, Ctrl+a read as expected"
