#!/bin/bash
# Screen capture, injected keys and clicks, and printing through a stand-in
# print command: the capture shows the window's pixels where the window is,
# injected keys reach the key buffer (0 and 72 press Up once), a click reaches
# the mouse queue, a printed screen is one page of the page's size, text
# printed to the printer comes out as one page after 10 s of silence and at
# program end, and a missing print command fails quietly.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/desktop_lib.sh"
BUILD=$2
PAGES=$(mktemp -d)
export MORV_PRINT_COMMAND="cat > \"$PAGES/page.\$\$.ppm\"; echo \"\$@\" > \"$PAGES/args.\$\$\""
start_xvfb
# Window pixels are page pixels here, the 320 x 200 screen included;
# scaled_window_xvfb.sh follows the pointer through a scaled window.
export MORV_SCALE=1
start_probe
id=$(focus_window PROBE) || fail "no window"
eval "$(xdotool getwindowgeometry --shell "$id")"

send capture $((X + 20)) $((Y + 20))
expect_line "capture" '^capture'
[ "$LINE" = "capture 1024 768 ffaa0000" ] || fail "captured $LINE inside the window"

# a, Ctrl+A, A, Up, Shift+Tab; Escape and a lone 0 type nothing.
send keys "$(hex 'a\x01A\x00\x48\x00\x0f\x1b\x00')"
wait_for 80 grep -qx 'keys done' "$PROBE_OUT" || fail "keys: no end"
typed=$(grep '^key ' "$PROBE_OUT" | tr '\n' ';')
[ "$typed" = "key 97;key 1;key 65;key 0 72;key 0 15;" ] || fail "keys read as $typed"
: > "$PROBE_OUT"

send click $((X + 100)) $((Y + 50))
wait_for 80 grep -qx 'click done' "$PROBE_OUT" || fail "click: no end"
grep -qx 'mouse 100 50 1' "$PROBE_OUT" || fail "no press at 100, 50: $(tr '\n' ';' < "$PROBE_OUT")"
[ "$(grep '^mouse' "$PROBE_OUT" | tail -n 1)" = "mouse 100 50 0" ] || fail "no release: $(tr '\n' ';' < "$PROBE_OUT")"
: > "$PROBE_OUT"

page_count() { ls "$PAGES"/page.*.ppm 2> /dev/null | wc -l; }
# A page once its command has finished writing it.
page_done() { [ "$(page_count)" -ge "$1" ] && [ "$(ls "$PAGES"/args.* 2> /dev/null | wc -l)" -ge "$1" ]; }
newest_page() { ls -t "$PAGES"/page.*.ppm | head -n 1; }
page_size=$(( 17 + 1240 * 1754 * 3 ))

send print
expect_line "print" '^printed$'
wait_for 50 page_done 1 || fail "the printed screen never reached the print command"
page=$(newest_page)
[ "$(head -c 17 "$page" | tr '\n' ' ')" = "P6 1240 1754 255 " ] || fail "page header $(head -c 17 "$page" | od -c)"
[ "$(stat -c %s "$page")" = "$page_size" ] || fail "page of $(stat -c %s "$page") bytes"
[ "$(tail -c +18 "$page" | head -c 3 | od -An -tx1 | tr -d ' ')" = "aa0000" ] || fail "the page is not the screen"
[ "$(cat "$PAGES"/args.*)" = "-t Document" ] || fail "the command was given $(cat "$PAGES"/args.*)"

send lprint "$(hex 'HELLO PRINTER')"
expect_line "lprint" '^lprinted$'
start=$(date +%s%N)
wait_for 150 page_done 2 || fail "the printer page never came out"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -ge 9900 ] || fail "the printer page came out after $elapsed ms of silence"
[ "$(tail -c +18 "$(newest_page)" | tr -d '\377' | wc -c)" -gt 0 ] || fail "the printer page is blank"

send lprint "$(hex 'AT THE END')"
expect_line "lprint" '^lprinted$'
stop_probe
wait_for 50 page_done 3 || fail "the printer page was not printed at program end"
[ "$(page_count)" = 3 ] || fail "$(page_count) pages in all"

# Without the stand-in nor lp on the path, printing ends quietly.
unset MORV_PRINT_COMMAND
PATH=/usr/bin/nonexistent:/bin start_probe
send print
expect_line "print without a command" '^(printed|error)'
[ "$LINE" = printed ] || fail "printing without a command gave $LINE"
stop_probe
rm -rf "$PAGES"
echo "desktop services under Xvfb: OK"
