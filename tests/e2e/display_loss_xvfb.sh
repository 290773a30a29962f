#!/usr/bin/env bash
# The X server going away ends the runtime at once with exit code 1 and a line
# on stderr, instead of leaving it spinning on the dead connection.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
err="$build/e2e_display_loss.err"

"$build/tests/runtime_idle" 2> "$err" &
APP_PID=$!
find_window Untitled > /dev/null || fail "no window named Untitled"
kill "$XVFB_PID"
wait_exit "$APP_PID" $((20 * ${MORV_TIME_SCALE:-1})) || fail "still running 2 s after the X server ended"
[ "$EXIT_CODE" -eq 1 ] || fail "exit code $EXIT_CODE, expected 1"
grep -q "lost its display" "$err" || fail "no line about the lost display on stderr"
echo "the runtime ended with code 1 when its X server went away"
