#!/usr/bin/env bash
# A burst of 8,000 input events a second for 2 s from XTEST, with 20 clicks and
# 20 key taps among the motions: the program reads every motion, every click
# where it was made and every key, in order, and the pointer where it ended.
# What counts is that nothing is lost; a busy machine may send late, never out
# of order. BURST_RATE and BURST_SECONDS try other bursts by hand.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
REPORT="$build/e2e_input_burst.out"
SENT="$build/e2e_input_burst.sent"
: > "$REPORT"
"$build/tests/input_burst_report" > "$REPORT" 2> "$build/e2e_input_burst.err" &
APP_PID=$!
win=$(focus_window BURST) || fail "no window named BURST took the focus"
wait_for 100 grep -qx ready "$REPORT" || fail "the program never got ready"

# The pointer rests in the window first; the program says how many messages it
# had read by then.
xdotool mousemove --window "$win" 300 200 || fail "xdotool mousemove"
wait_for 100 grep -q '^idle 300 200 ' "$REPORT" || fail "the pointer never rested at 300 200: $(tail -n 3 "$REPORT")"
before=$(grep '^idle 300 200 ' "$REPORT" | tail -n 1 | awk '{ print $4 }')

"$build/tests/x_input_burst" "$win" "${BURST_RATE:-8000}" "${BURST_SECONDS:-2}" 20 20 > "$SENT" || fail "the burst could not be sent"
xdotool key Return || fail "xdotool key Return"
wait_for $((100 * ${MORV_TIME_SCALE:-1})) grep -qx done "$REPORT" || fail "the program never read the Return after the burst"

field() { awk -v k="$1" '$1 == k { $1 = ""; sub(/^ /, ""); print }' "$2"; }
motions=$(field motions "$SENT")
read -r sent_rate sent_seconds < <(field rate "$SENT")
clicks_sent=$(grep -c '^click ' "$SENT")
[ "$(grep '^click ' "$REPORT")" = "$(grep '^click ' "$SENT")" ] ||
    fail "clicks: sent $clicks_sent, read $(grep -c '^click ' "$REPORT");" \
         "first differences: $(diff <(grep '^click ' "$SENT") <(grep '^click ' "$REPORT") | head -n 4 | tr '\n' ';')"
keys=$(field keys "$SENT")
[ "$(field keys "$REPORT")" = "$keys" ] || fail "keys read '$(field keys "$REPORT")', sent '$keys'"
want_hits=$(echo -n "$keys" | od -An -tu1 -v | awk '{ for (i = 1; i <= NF; i++) printf "%s%d -%d", (n++ ? " " : ""), $i, $i }')
got_hits=$(field hits "$REPORT" | tr ' ' '\n' | grep -vx -- '-\?13' | paste -sd ' ')
[ "$got_hits" = "$want_hits" ] || fail "key-hit codes '$got_hits', sent '$want_hits'"
read -r final_x final_y total < <(field final "$REPORT")
[ "$final_x $final_y" = "$(field final "$SENT")" ] || fail "the pointer ended at $final_x $final_y, sent to $(field final "$SENT")"
# Each motion leaves a moving and a still message, each press and release one.
want=$((2 * motions + 2 * clicks_sent))
[ $((total - before)) -eq "$want" ] || fail "read $((total - before)) mouse messages, sent $want"
[ "$(field dropped "$REPORT")" = 0 ] || fail "$(field dropped "$REPORT") window events dropped"

close_and_expect_exit "$build" BURST
echo "input burst: $motions motions, $clicks_sent clicks and ${#keys} key taps sent at $sent_rate events/s" \
     "over $sent_seconds s; every one read in order, the pointer at $final_x $final_y"
