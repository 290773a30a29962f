#!/usr/bin/env bash
# Lock keys pressed between other keys of one quick burst count from their own
# moment: Num Lock on, keypad 8, Num Lock off, keypad 8, 3 ms apart, read "8"
# and then Up; Caps Lock on and off within a few milliseconds is a press and a
# release of the lock, and a letter after it is small again.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
REPORT="$build/e2e_lock_keys.out"
: > "$REPORT"
"$build/tests/key_report" > "$REPORT" 2> "$build/e2e_lock_keys.err" &
APP_PID=$!
focus_window KEYS > /dev/null || fail "no window named KEYS took the focus"
wait_for 50 report_settled 1 || fail "the program never settled"

hits_of() { echo "$SEGMENT" | awk '$1 == "hit" { printf "%s%s", (n++ ? " " : ""), $3 }'; }

# KP_Up is the keypad 8 key's own symbol, so xdotool adds no Shift to it.
press_and_settle "Num Lock between keypad 8s" key --delay 3 Num_Lock KP_Up Num_Lock KP_Up
[ "$(echo $TYPED)" = "56 0 72" ] || fail "Num Lock on, keypad 8, off, keypad 8 typed '$(echo $TYPED)', expected '56 0 72'"
[ "$(hits_of)" = "100300 56 -56 -100300 18432 -18432" ] || fail "Num Lock between keypad 8s: key hits $(hits_of)"

press_and_settle "Caps Lock on and off, then a" key --delay 2 Caps_Lock Caps_Lock a
[ "$(hits_of)" = "100301 -100301 97 -97" ] || fail "Caps Lock on and off, then a: key hits $(hits_of)"
[ "$(echo $TYPED)" = "97" ] || fail "a after Caps Lock on and off typed '$(echo $TYPED)'"

close_and_expect_exit "$build" KEYS
echo "Num Lock between two keypad 8s gave 8 and then Up; Caps Lock on and off within 2 ms was a press and a release"
