# Shared by the end-to-end scripts: a private Xvfb, polling helpers.
# Sourced, not run; "$1" of the script is the morv binary, "$2" the build folder.

# Sanitizer builds: no pause at exit, so shutdown times stay honest.
export TSAN_OPTIONS="${TSAN_OPTIONS:-atexit_sleep_ms=0 suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)/tsan.supp}"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Polls a command until it succeeds, up to $1 tenths of a second.
wait_for() {
    local tenths=$1 i; shift
    for ((i = 0; i < tenths; i++)); do
        "$@" > /dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

start_xvfb() {
    for n in $(seq 90 140); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1024x768x24 -noreset -nolisten tcp > /dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=:$n
        if wait_for 50 xdpyinfo; then
            trap 'kill $XVFB_PID 2>/dev/null; [ -n "${APP_PID:-}" ] && kill -9 $APP_PID 2>/dev/null; true' EXIT
            return 0
        fi
        kill $XVFB_PID 2>/dev/null
    done
    fail "could not start Xvfb"
}

# Waits for a window with the exact name; prints its id.
find_window() {
    local name=$1 id="" i
    for ((i = 0; i < 100; i++)); do
        id=$(xdotool search --name "^${name}\$" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Waits for a process to end (up to $2 tenths); its exit code in EXIT_CODE.
wait_exit() {
    local pid=$1 tenths=$2 i
    for ((i = 0; i < tenths; i++)); do
        if ! kill -0 "$pid" 2> /dev/null; then
            wait "$pid"; EXIT_CODE=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Asks the window named $2 to close, as a user would, and expects the process
# to end with code 0 within a second; the time taken in ELAPSED_MS.
close_and_expect_exit() {
    local build=$1 name=$2 start
    start=$(date +%s%N)
    "$build/tests/x_close_window" "$name" || fail "could not ask the window to close"
    wait_exit "$APP_PID" 30 || fail "still running 3 s after the close"
    ELAPSED_MS=$(( ($(date +%s%N) - start) / 1000000 ))
    [ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
    [ "$ELAPSED_MS" -lt 1000 ] || fail "took $ELAPSED_MS ms to end"
    APP_PID=""
}
