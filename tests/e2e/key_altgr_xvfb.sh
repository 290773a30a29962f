#!/usr/bin/env bash
# AltGr types the layout's character: on a German layout AltGr+q is "@", AltGr+i
# the arrow of code page byte 26, and AltGr+e the euro sign, which the code page
# lacks, so it reaches only the key-hit queue. Left Alt+q, and right Alt+q on a
# US layout (no AltGr there), stay Alt+Q.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
keymap() { setxkbmap -query; xkbcomp -xkb "$DISPLAY" - 2> /dev/null; }
found=$(keymap)
use_layout de
REPORT="$build/e2e_key_altgr.out"
: > "$REPORT"
"$build/tests/key_report" > "$REPORT" 2> "$build/e2e_key_altgr.err" &
APP_PID=$!
focus_window KEYS > /dev/null || fail "no window named KEYS took the focus"
wait_for 50 report_settled 1 || fail "the program never settled"
# The physical Alt keys by their keycodes: xdotool would add a left Alt to an
# Alt_R it is asked for.
keycode_of() { xkbcomp -xkb "$DISPLAY" - 2> /dev/null | awk -v k="<$1>" '$1 == k { sub(/;/, "", $3); print $3 }'; }
right_alt=$(keycode_of RALT)
left_alt=$(keycode_of LALT)
[ -n "$right_alt" ] && [ -n "$left_alt" ] || fail "no Alt keys in the keymap"

# Holds the Alt key $1 ("right" or "left") around key $2; what must be read ($3)
# and the press code the key-hit queue must show ($4).
expect_keys() {
    local side=$1 key=$2 want=$3 hit=$4 alt what
    alt=$([ "$side" = right ] && echo "$right_alt" || echo "$left_alt")
    what="$(setxkbmap -query | awk '$1 == "layout:" { print $2 }') $side Alt+$key"
    press_and_settle "$what" keydown --delay 0 "$alt" key --delay 0 "$key" keyup --delay 0 "$alt"
    [ "$(echo $TYPED)" = "$want" ] || fail "$what read as '$(echo $TYPED)', expected '$want'"
    echo "$SEGMENT" | awk -v h="$hit" '$1 == "hit" && $3 == h { found = 1 } END { exit !found }' ||
        fail "$what: no press $hit in the key-hit queue"
}
expect_keys right q "64" 64
expect_keys right i "26" 26
expect_keys right e "" $((0x40000000 + 0x20AC))
expect_keys left q "0 16" 113
use_layout us
expect_keys right q "0 16" 113

restore_layout
[ "$(keymap)" = "$found" ] || fail "the keymap found at the start was not restored"
close_and_expect_exit "$build" KEYS
echo "de: AltGr+q read as @, AltGr+i as byte 26, AltGr+e as U+20AC in the key-hit queue alone," \
     "Alt+q as 0 16; us: right Alt+q as 0 16"
