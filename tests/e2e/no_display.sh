#!/usr/bin/env bash
# Without any display MORV says so and ends with the start-up failure code;
# with the dummy driver it starts and ends on SIGTERM (an SDL quit) with 0.
set -u
morv=$1 build=$2
source "$(dirname "$0")/lib.sh"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$morv" 2>&1); code=$?
[ "$code" -eq 100 ] || fail "exit code $code without a display, 100 expected"
echo "$out" | grep -q "needs a graphical display" || fail "no clear message: $out"

SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$morv" 2> "$build/e2e_dummy.err" &
APP_PID=$!
sleep 0.5
kill -0 $APP_PID 2>/dev/null || fail "ended early under the dummy driver"
kill -TERM $APP_PID
wait_exit $APP_PID 20 || { kill -9 $APP_PID; fail "did not end on SDL_QUIT"; }
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE after SDL_QUIT"
echo "no display: 100 with a message; dummy driver: ends with 0"
