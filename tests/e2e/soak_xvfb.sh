#!/usr/bin/env bash
# The real game started and closed again and again under Xvfb: every start shows
# its window and every close ends the process with code 0, without a crash or a
# hang. SOAK_RUNS sets the count (30 by default); SOAK_RENDER picks SDL's
# renderer (SDL_RENDER_DRIVER), empty for SDL's own choice.
set -u
morv=$1 build=$2
source "$(dirname "$0")/lib.sh"
runs=${SOAK_RUNS:-30}
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
[ -n "${SOAK_RENDER:-}" ] && export SDL_RENDER_DRIVER=$SOAK_RENDER

err="$build/e2e_soak${SOAK_RENDER:+_$SOAK_RENDER}.err"
# The window once SDL has settled it: at start-up SDL may replace its first X
# window by another, and a close sent to the first is lost with it. The same
# id found again a moment later, mapped, is the one a user could click.
settled_window() {
    local id again i
    for ((i = 0; i < 50; i++)); do
        id=$(find_window MORV) || return 1
        sleep 0.2
        again=$(find_window MORV) || return 1
        [ "$id" = "$again" ] && xwininfo -id "$id" 2> /dev/null | grep -q IsViewable && return 0
    done
    return 1
}

crashes=0 hangs=0
for ((i = 1; i <= runs; i++)); do
    "$morv" 2> "$err" &
    APP_PID=$!
    if ! settled_window; then
        if kill -0 $APP_PID 2> /dev/null; then hangs=$((hangs + 1)); kill -9 $APP_PID; else crashes=$((crashes + 1)); fi
        wait $APP_PID 2> /dev/null
        echo "start $i: no window" >&2
        continue
    fi
    # SDL names the window twice (_NET_WM_NAME, which the search sees, then
    # WM_NAME, which the close looks for): the close is asked until it finds it.
    wait_for 50 "$build/tests/x_close_window" MORV || echo "start $i: the close found no window" >&2
    if ! wait_exit $APP_PID 50; then
        hangs=$((hangs + 1))
        kill -9 $APP_PID
        wait $APP_PID 2> /dev/null
        echo "start $i: still running 5 s after the close" >&2
    elif [ "$EXIT_CODE" -ne 0 ]; then
        crashes=$((crashes + 1))
        echo "start $i: exit code $EXIT_CODE" >&2
        cat "$err" >&2
    fi
done
APP_PID=""
echo "$runs starts${SOAK_RENDER:+ with the $SOAK_RENDER renderer}: $crashes crashes, $hangs hangs"
[ $crashes -eq 0 ] && [ $hangs -eq 0 ] || fail "$crashes crashes and $hangs hangs in $runs starts"
