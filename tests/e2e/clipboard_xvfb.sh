#!/bin/bash
# The clipboard against xclip: our text read by xclip (through the code page)
# while the program is busy, xclip's text read by us, an image read as "", and
# hostile owners: one that never answers costs at most the bounded wait, one
# offering a gigabyte is cut at 16 MiB; a long text of ours goes in pieces.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/desktop_lib.sh"
BUILD=$2
command -v xclip > /dev/null || fail "xclip is not installed (scripts/setup.sh test)"
start_xvfb
start_probe
OWNER_PID=""
trap 'kill $XVFB_PID $OWNER_PID 2>/dev/null; [ -n "${APP_PID:-}" ] && kill -9 $APP_PID 2>/dev/null; true' EXIT

# Code page 437: 0x82 is e acute, 0x81 u umlaut, 0xE1 sharp s, 0xC9 a box corner.
send set "$(hex 'Caf\x82 \xc9 tab\there')"
expect_line "set" '^set$'
send busy 3000
got=$(timeout 5 xclip -o -selection clipboard) || fail "xclip could not read our text"
[ "$got" = $'Café ╔ tab\there' ] || fail "xclip read \"$got\""
got=$(timeout 5 xclip -o -selection clipboard -t STRING) || fail "xclip could not read our Latin-1 text"
[ "$(printf '%s' "$got" | od -An -tx1 | tr -d ' \n')" = "436166e9203f2074616209686572650a" ] ||
    [ "$(printf '%s' "$got" | od -An -tx1 | tr -d ' \n')" = "436166e9203f207461620968657265" ] ||
    fail "STRING read as $(printf '%s' "$got" | od -An -tx1)"
expect_line "busy" '^idle$'

# Past 1 MiB our text goes in pieces.
send setlong 3500000
expect_line "a long text" '^set$'
timeout 10 xclip -o -selection clipboard > "$BUILD/clip_long.txt" || fail "xclip could not read a long text"
[ "$(stat -c %s "$BUILD/clip_long.txt")" = 3500000 ] || fail "a long text read as $(stat -c %s "$BUILD/clip_long.txt") bytes"
[ "$(tail -c 4 "$BUILD/clip_long.txt")" = "ghij" ] || fail "a long text ends in $(tail -c 4 "$BUILD/clip_long.txt")"
rm -f "$BUILD/clip_long.txt"

# xclip takes the selection after it returned: it serves our get once one
# read of its own shows it holds it.
printf 'Grüße ✓\r\n' | xclip -i -selection clipboard -l 2 2> /dev/null
# True when the clipboard's $1 begins with the two bytes $2 (in hex).
xclip_holds() {
    [ "$(timeout 5 xclip -o -selection clipboard -t "$1" 2> /dev/null | head -c 2 | od -An -tx1 | tr -d ' \n')" = "$2" ]
}
wait_for 50 xclip_holds UTF8_STRING 4772 || fail "xclip never took the selection"
send get
expect_line "xclip's text" '^got '
[ "$LINE" = "got $(hex 'Gr\x81\xe1e ?\r\n')" ] || fail "read xclip's text as ${LINE:0:200}"

printf '\x89PNG\r\n\x1a\n0000' > "$BUILD/clip_image.png"
xclip -i -selection clipboard -t image/png -l 3 < "$BUILD/clip_image.png" 2> /dev/null
wait_for 50 xclip_holds image/png 8950 || fail "xclip never took the selection with an image"
send get
expect_line "an image" '^got'
[ "$LINE" = "got " ] || fail "an image read as ${LINE:0:200}"
rm -f "$BUILD/clip_image.png"

"$BUILD/tests/x_selection_owner" silent > "$BUILD/clip_owner.txt" &
OWNER_PID=$!
wait_for 50 grep -qx owner "$BUILD/clip_owner.txt" || fail "the silent owner did not start"
start=$(date +%s%N)
send get
expect_line "a silent owner" '^got' 60
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$LINE" = "got " ] || fail "a silent owner gave ${LINE:0:200}"
[ "$elapsed" -lt $((3000 * ${MORV_TIME_SCALE:-1})) ] || fail "a silent owner held the program $elapsed ms"
kill $OWNER_PID; wait $OWNER_PID 2> /dev/null

"$BUILD/tests/x_selection_owner" flood > "$BUILD/clip_owner.txt" &
OWNER_PID=$!
wait_for 50 grep -qx owner "$BUILD/clip_owner.txt" || fail "the flooding owner did not start"
start=$(date +%s%N)
send get
wait_for $((100 * ${MORV_TIME_SCALE:-1})) grep -q '^got' "$PROBE_OUT" || fail "no answer with a flooding owner"
length=$(awk '/^got/ { print length($2) }' "$PROBE_OUT")
[ "$length" = $((2 * 16 * 1024 * 1024)) ] ||
    fail "a gigabyte offered read as $((length / 2)) bytes after $(( ($(date +%s%N) - start) / 1000000 )) ms"
: > "$PROBE_OUT"
kill $OWNER_PID; wait $OWNER_PID 2> /dev/null
OWNER_PID=""
rm -f "$BUILD/clip_owner.txt"

stop_probe
echo "clipboard under Xvfb: OK"
