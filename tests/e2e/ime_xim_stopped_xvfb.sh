#!/usr/bin/env bash
# An X input method that stops answering in the middle of a composition
# (uim-xim stopped with SIGSTOP, as a hung or swapped-out server would be):
# the next keys reach the program, the composition box is cleared and the
# library says OFF. Once the server runs again the input method works again,
# without the keys the program already had. Closing the window ends the
# program in normal time while the server is stopped.
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
# Once the input context is on the window, Shift+Space turns pinyin on and a
# composes (啊).
compose() {  # waits for context number $1, types Shift+Space and $2, waits for the composition
    local before
    wait_for $((50 * scale)) more_than '^context 1' $(($1 - 1)) || fail "no input context ($1)"
    before=$(count '^msg 1 [^"]')
    xdotool key --window "$win" shift+space "$2"
    wait_for $((30 * scale)) more_than '^msg 1 [^"]' "$before" ||
        fail "no composition of $2: $(grep -v '^snap' "$REPORT" | tail -n 5 | tr '\n' ';')"
}
compose 1 a

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

# The server runs again: the input method comes back on a new context, where
# pinyin is off; turned on, z composes alone (a, b and c are gone).
kill -CONT $SERVER_PID
compose 2 z
latest=$(grep '^msg 1 ' "$REPORT" | tail -n 1)
[[ "$latest" =~ ^msg\ 1\ z+\  ]] || fail "the composition after the server came back is not z alone: $latest"

# Stopped again, its thread held in libX11: once x has reached the program,
# the window's close ends the program in normal time.
kill -STOP $SERVER_PID
keys_before=$(count '^key ')
xdotool key --window "$win" x
wait_for $((30 * scale)) more_than '^key ' "$keys_before" || fail "x did not reach the program"
close_and_expect_exit "$build" IME
echo "server stopped: b and c read, box cleared, OFF; back: z composes alone; closed in $ELAPSED_MS ms"
