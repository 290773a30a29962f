#!/usr/bin/env bash
# An X input method that stops answering in the middle of a composition
# (uim-xim stopped with SIGSTOP, as a hung or swapped-out server would be):
# the next keys reach the program, the composition box is cleared and the
# library says OFF. Closing the window ends the program in normal time while
# the server is stopped.
# Exits 77 (skipped) only when the input-method server cannot be started.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
skip() { echo "SKIP: $*"; exit 77; }
command -v uim-xim > /dev/null || skip "uim-xim is not installed (scripts/setup.sh test installs it)"
locale -a 2> /dev/null | grep -qi '^zh_CN\.utf-\?8$' || skip "the zh_CN.UTF-8 locale is missing (scripts/setup.sh test makes it)"
start_xvfb
env -u LD_PRELOAD LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 uim-xim > "$build/e2e_ime_xim_stopped_server.log" 2>&1 &
SERVER_PID=$!
trap 'kill -CONT $SERVER_PID 2>/dev/null; kill $SERVER_PID 2>/dev/null; kill $XVFB_PID 2>/dev/null; [ -n "${APP_PID:-}" ] && kill -9 $APP_PID 2>/dev/null; true' EXIT
server_ready() { xprop -root XIM_SERVERS | grep -q '@server=uim'; }
wait_for 100 server_ready || skip "uim-xim did not start: $(head -c 300 "$build/e2e_ime_xim_stopped_server.log")"

export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
REPORT="$build/e2e_ime_xim_stopped.out"
LANG=zh_CN.UTF-8 XMODIFIERS=@im=uim "$build/tests/ime_report" > "$REPORT" 2> "$build/e2e_ime_xim_stopped.err" &
APP_PID=$!
win=$(focus_window IME) || fail "no window named IME: $(tail -n 3 "$build/e2e_ime_xim_stopped.err")"
wait_for 50 grep -q '^quiet' "$REPORT" || fail "the program did not settle"

count() { grep -c "$1" "$REPORT"; }
more_than() { [ "$(count "$1")" -gt "$2" ]; }
scale=${MORV_TIME_SCALE:-1}
# Pinyin on and "a" typed (啊): a composition starts once the input context is on
# the window (keys sent sooner reach the program, and are sent again).
changes() { count '^msg 1 [^"]'; }
compose() {  # types Shift+Space (pinyin on) and $1 until a composition shows
    local before try
    before=$(changes)
    for ((try = 0; try < 20; try++)); do
        xdotool key --window "$win" shift+space "$1"
        wait_for 10 more_than '^msg 1 [^"]' "$before" && return 0
    done
    return 1
}
compose a
more_than '^msg 1 [^"]' 0 || fail "no composition started: $(grep -v '^snap' "$REPORT" | tail -n 5 | tr '\n' ';')"

# The server stops: b and c reach the key buffer, the box is cleared, OFF follows.
kill -STOP $SERVER_PID
keys_before=$(count '^key ')
xdotool key --window "$win" b c
wait_for $((30 * scale)) more_than '^key ' $((keys_before + 1)) ||
    fail "b and c did not reach the program with the server stopped: $(grep -v '^snap' "$REPORT" | tail -n 4 | tr '\n' ';')"
[ "$(grep '^key ' "$REPORT" | tail -n 2 | tr '\n' ' ')" = "key 98 key 99 " ] ||
    fail "the keys read were not b, c: $(grep '^key ' "$REPORT" | tr '\n' ' ')"
wait_for 10 more_than '^msg 3 ' 0 || fail "no OFF after the server stopped: $(grep '^msg' "$REPORT" | tr '\n' ';')"
[ "$(grep '^msg' "$REPORT" | tail -n 2 | cut -d' ' -f1-3 | tr '\n' ';')" = 'msg 1 "";msg 3 -;' ] ||
    fail "the composition did not end with an empty CHANGE and OFF: $(grep '^msg' "$REPORT" | tr '\n' ';')"

# The window's close ends the program in normal time, the server still stopped.
xdotool key --window "$win" x
sleep 0.1
close_and_expect_exit "$build" IME
echo "server stopped: b and c read, box cleared, OFF; closed in $ELAPSED_MS ms"
