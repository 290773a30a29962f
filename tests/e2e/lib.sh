# Shared by the end-to-end scripts: a private Xvfb, polling helpers.
# Sourced, not run; "$1" of the script is the morv binary, "$2" the build folder.

# Windows open at their own size, whatever the developer's MORV_SCALE says.
unset MORV_SCALE

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

# Xvfb picks a free display itself and names it when it is ready: choosing
# one by its lock file races with scripts started at the same moment, and the
# loser would talk to the winner's server. The screen is 1024x768x24 unless
# the first argument names another.
start_xvfb() {
    local number_file screen=${1:-1024x768x24}
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$screen" -noreset -nolisten tcp 3> "$number_file" > /dev/null 2>&1 &
    XVFB_PID=$!
    trap 'restore_layout; kill $XVFB_PID 2>/dev/null; [ -n "${APP_PID:-}" ] && kill -9 $APP_PID 2>/dev/null; true' EXIT
    wait_for 50 test -s "$number_file" || { rm -f "$number_file"; fail "could not start Xvfb"; }
    export DISPLAY=:$(head -n 1 "$number_file")
    rm -f "$number_file"
    wait_for 50 xdpyinfo || fail "Xvfb on $DISPLAY does not answer"
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

# Finds the window with the exact name and gives it the focus; prints its id.
# The first window of that name can be replaced while the program starts, so
# a window gone before it took the focus is looked for again.
focus_window() {
    local name=$1 id i
    for ((i = 0; i < 50; i++)); do
        id=$(find_window "$name") || return 1
        xdotool windowfocus --sync "$id" 2> /dev/null && { echo "$id"; return 0; }
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
    # A sanitizer build runs several times slower; its tests scale the limit.
    local limit=$((1000 * ${MORV_TIME_SCALE:-1}))
    [ "$ELAPSED_MS" -lt "$limit" ] || fail "took $ELAPSED_MS ms to end (limit $limit ms)"
    APP_PID=""
}

# Switches the X keyboard layout (setxkbmap's arguments). The settings found
# before the first switch come back with restore_layout, and at the end.
use_layout() {
    [ -n "${SAVED_LAYOUT:-}" ] || SAVED_LAYOUT=$(setxkbmap -query) || fail "could not read the layout"
    setxkbmap "$@" || fail "setxkbmap $*"
}
restore_layout() {
    [ -n "${SAVED_LAYOUT:-}" ] || return 0
    local field args=() value
    for field in rules model layout variant; do
        value=$(echo "$SAVED_LAYOUT" | awk -v f="$field:" '$1 == f { print $2 }')
        args+=("-$field" "$value")
    done
    value=$(echo "$SAVED_LAYOUT" | awk '$1 == "options:" { print $2 }')
    setxkbmap "${args[@]}" -option "" ${value:+-option "$value"}
    SAVED_LAYOUT=""
}

# The report of tests/support/key_report, written to the file $REPORT.
report_quiet_lines() { grep -c '^quiet' "$REPORT"; }
# True once the program has been quiet at least $1 times in all, is quiet now,
# and holds no more keys than at its start (its first "held" line).
report_settled() {
    awk -v n="$1" '
        $1 == "quiet" { q++ }
        $1 == "held" { h = $3 " " $4 " " $5; if (base == "") base = h }
        { last = $1 }
        END { exit !(q >= n && last == "quiet" && h == base) }' "$REPORT"
}
# Sends xdotool the chained command $2.. and waits until the program has been
# quiet for longer than a repeat would wait, with nothing held ($1 names the
# keys in messages). The report lines since the command in SEGMENT, the keys
# read in TYPED (one key string a line, as decimal bytes).
press_and_settle() {
    local what=$1 before; shift
    before=$(report_quiet_lines)
    xdotool "$@" || fail "xdotool $*"
    if ! wait_for 100 report_settled $((before + 1)); then
        fail "$what: nothing read, no end to the keys, or keys still held:" \
             "$(awk -v n="$before" '$1 == "quiet" { q++ } q >= n' "$REPORT" | tail -n 5 | tr '\n' ';')"
    fi
    SEGMENT=$(awk -v n="$before" '$1 == "quiet" { q++; next } q >= n' "$REPORT")
    TYPED=$(echo "$SEGMENT" | awk '$1 == "key" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
}
