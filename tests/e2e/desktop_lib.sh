# Shared by the desktop-service scripts: the probe program driven through a
# pipe. Sourced after lib.sh; "$BUILD" is the build folder.

hex() { printf '%b' "$1" | od -An -tx1 -v | tr -d ' \n'; }

# Starts tests/support/desktop_probe with its window focused; commands go in
# with send, its report is $PROBE_OUT.
start_probe() {
    PROBE_DIR=$(mktemp -d)
    mkfifo "$PROBE_DIR/commands"
    PROBE_OUT=$PROBE_DIR/report
    : > "$PROBE_OUT"
    SDL_AUDIODRIVER=dummy "$BUILD/tests/desktop_probe" < "$PROBE_DIR/commands" >> "$PROBE_OUT" 2> "$PROBE_DIR/stderr" &
    APP_PID=$!
    exec 3> "$PROBE_DIR/commands"
    wait_for 100 grep -qx ready "$PROBE_OUT" || fail "the probe never got ready"
}
send() { echo "$*" >&3; }
# Waits for the report line matching the regular expression $2 ($1 names it);
# the line in LINE.
expect_line() {
    wait_for "${3:-50}" grep -qE "$2" "$PROBE_OUT" || fail "$1: no line /$2/ in: $(tail -c 300 "$PROBE_OUT" | tr '\n' ';')"
    LINE=$(grep -E "$2" "$PROBE_OUT" | tail -n 1)
    # Each answer is read once: the report starts again empty.
    : > "$PROBE_OUT"
}
stop_probe() {
    send quit
    wait_exit "$APP_PID" 50 || fail "the probe did not end"
    APP_PID=""
    exec 3>&-
    ! grep -q "ThreadSanitizer\|AddressSanitizer\|runtime error" "$PROBE_DIR/stderr" ||
        fail "the sanitizer spoke: $(head -n 30 "$PROBE_DIR/stderr")"
    rm -rf "$PROBE_DIR"
}
