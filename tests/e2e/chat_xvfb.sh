#!/usr/bin/env bash
# Two runtimes talk over the loopback: examples/chat as host on one Xvfb and
# as client on another. A line typed on either appears on both screens
# ("> " on the sender's, "< " on the receiver's); when the client ends with
# Esc the host says "Disconnected" and a key ends it with exit code 0.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
chat="$build/examples/chat"
cells_tool="$build/tests/screen_cells"
[ -x "$chat" ] && [ -x "$cells_tool" ] || fail "examples/chat or tests/screen_cells is not built"
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent

start_xvfb; host_display=$DISPLAY; host_xvfb=$XVFB_PID
start_xvfb; client_display=$DISPLAY; client_xvfb=$XVFB_PID
HOST_PID="" CLIENT_PID=""
trap 'for p in $HOST_PID $CLIENT_PID; do kill -9 $p 2>/dev/null; done; kill $host_xvfb $client_xvfb 2>/dev/null; true' EXIT

# The screen of the chat window on display $1, as 25 rows of text in
# $build/e2e_chat_N.cells (a display holds one window).
read_screen() {
    local shot="$build/e2e_chat_${1#:}" win
    win=$(DISPLAY=$1 xdotool search --name '^Chat$' 2> /dev/null | head -n 1) && [ -n "$win" ] &&
        DISPLAY=$1 import -window "$win" "$shot.png" 2> /dev/null &&
        convert "$shot.png" ppm:"$shot.ppm" && "$cells_tool" "$shot.ppm" 80 | head -n 25 > "$shot.cells"
}
screen_has() { read_screen "$1" && grep -qxF -- "$2" "$build/e2e_chat_${1#:}.cells"; }
wait_screen() {
    wait_for 100 screen_has "$1" "$2" ||
        fail "display $1 never showed '$2'; it shows: $(sed 's/ *$//' "$build/e2e_chat_${1#:}.cells" | grep . | tr '\n' '|')"
}
pad() { printf '%-80s' "$1"; }
# Typed no faster than the program, slowed by a sanitizer, reads its keys: the
# key buffer holds 15, and a key typed past them is lost as on the real machine.
type_line() { DISPLAY=$1 xdotool type --delay $((20 * ${MORV_TIME_SCALE:-1})) "$2" && DISPLAY=$1 xdotool key Return; }

# A port of our own: another is tried when the host cannot listen on it.
for attempt in 1 2 3 4 5; do
    port=$((20000 + (RANDOM % 30000)))
    DISPLAY=$host_display "$chat" host $port 2> "$build/e2e_chat_host.err" &
    HOST_PID=$!
    wait_for 100 screen_has "$host_display" "$(pad "Waiting for a client on port $port")" && break
    kill -9 $HOST_PID 2>/dev/null; wait $HOST_PID 2>/dev/null; HOST_PID=""
done
[ -n "$HOST_PID" ] || fail "the host never listened"
DISPLAY=$host_display focus_window Chat > /dev/null || fail "no host window to focus"

DISPLAY=$client_display "$chat" client 127.0.0.1 $port 2> "$build/e2e_chat_client.err" &
CLIENT_PID=$!
DISPLAY=$client_display focus_window Chat > /dev/null || fail "no client window to focus"
wait_screen "$client_display" "$(pad "Connected to 127.0.0.1 on port $port")"
wait_screen "$host_display" "$(pad "Connected to 127.0.0.1")"

type_line "$client_display" "hello from the client"
wait_screen "$client_display" "$(pad "> hello from the client")"
wait_screen "$host_display" "$(pad "< hello from the client")"
type_line "$host_display" "and back, host"
wait_screen "$host_display" "$(pad "> and back, host")"
wait_screen "$client_display" "$(pad "< and back, host")"

DISPLAY=$client_display xdotool key Escape
wait_exit "$CLIENT_PID" 50 || fail "the client did not end after Esc"
[ "$EXIT_CODE" -eq 0 ] || fail "the client ended with $EXIT_CODE"
CLIENT_PID=""
wait_screen "$host_display" "$(pad "Disconnected")"
DISPLAY=$host_display xdotool key space
wait_exit "$HOST_PID" 50 || fail "the host did not end after a key"
[ "$EXIT_CODE" -eq 0 ] || fail "the host ended with $EXIT_CODE"
HOST_PID=""
echo "lines crossed both ways between two chats; Disconnected and exit code 0 on both sides"
