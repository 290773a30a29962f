#!/usr/bin/env bash
# The runtime under Xvfb with a program that only waits: a 640 x 400 window
# captioned "Untitled" showing the blank start-up screen; closing the window
# ends the process with code 0 within a second.
set -u
build=$2
morv=$build/tests/runtime_idle
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent

"$morv" 2> "$build/e2e_window.err" &
APP_PID=$!
win=$(find_window Untitled) || fail "no window named Untitled"
size=$(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$size" = "640x400" ] || fail "window is $size, not 640x400"

# Let a few frames reach the window, then read it back.
sleep 0.3
shot="$build/e2e_window.png"
import -window "$win" "$shot" || fail "screenshot failed"
colours=$(convert "$shot" -format %c histogram:info:- | wc -l)
mean=$(convert "$shot" -format '%[fx:mean]' info:)
[ "$colours" -eq 1 ] || fail "blank screen expected, found $colours colours"
[ "$mean" = "0" ] || fail "black screen expected, mean $mean"

close_and_expect_exit "$build" Untitled
echo "window 640x400, blank, closed in ${ELAPSED_MS} ms with exit code 0"
