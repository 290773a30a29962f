#!/usr/bin/env bash
# A real X input method under Xvfb: uim-xim with pinyin. Shift+Space turns it
# on, "zhong" composes, Space and "1" choose 中. None of the romanised keys
# reaches the key buffer, the key-hit queue, the held keys or the keyboard
# device; 中 is committed; the messages come as ON, CHANGE ..., RESULT, OFF;
# the composition shows in the window's top-right corner while it is made.
# Exits 77 (skipped) only when the input-method server cannot be started.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
skip() { echo "SKIP: $*"; exit 77; }
command -v uim-xim > /dev/null || skip "uim-xim is not installed (scripts/setup.sh test installs it)"
locale -a 2> /dev/null | grep -qi '^zh_CN\.utf-\?8$' || skip "the zh_CN.UTF-8 locale is missing (scripts/setup.sh test makes it)"
start_xvfb
xset +fp /usr/share/fonts/X11/misc > /dev/null 2>&1 && xset fp rehash > /dev/null 2>&1
# The server is no program of ours: the sanitizer builds' preload stays out of it.
env -u LD_PRELOAD LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 uim-xim > "$build/e2e_ime_xim_server.log" 2>&1 &
SERVER_PID=$!
trap 'kill $SERVER_PID 2>/dev/null; restore_layout; kill $XVFB_PID 2>/dev/null; [ -n "${APP_PID:-}" ] && kill -9 $APP_PID 2>/dev/null; true' EXIT
server_ready() { xprop -root XIM_SERVERS | grep -q '@server=uim'; }
wait_for 100 server_ready || skip "uim-xim did not start: $(head -c 300 "$build/e2e_ime_xim_server.log")"

export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
REPORT="$build/e2e_ime_xim.out"
: > "$REPORT"
LANG=zh_CN.UTF-8 XMODIFIERS=@im=uim "$build/tests/ime_report" > "$REPORT" 2> "$build/e2e_ime_xim.err" &
APP_PID=$!
win=$(focus_window IME) || fail "no window named IME: $(tail -n 3 "$build/e2e_ime_xim.err")"
wait_for 50 grep -q '^quiet' "$REPORT" || fail "the program did not settle"
grep -qx 'name "uim" on XIM' "$REPORT" || fail "back-end name: $(grep '^name' "$REPORT")"

quiet_count() { grep -c '^quiet' "$REPORT"; }
quieter_than() { [ "$(quiet_count)" -gt "$1" ]; }
settle() {  # waits for a quiet line after the ones counted before the keys
    wait_for 100 quieter_than "$1" || fail "no quiet after the keys"
}
typed() {  # the keys, one xdotool call each, then the program settles
    local before key
    before=$(quiet_count)
    for key in "$@"; do
        xdotool key --window "$win" "$key" || fail "xdotool key $key"
        sleep 0.15
    done
    settle "$before"
}

# The input context is made on the window after it shows: keys sent sooner
# go to the program directly.
wait_for $((50 * ${MORV_TIME_SCALE:-1})) grep -q '^context 1' "$REPORT" || fail "no input context on the window"
typed shift+space
typed z h o n g
# While composing, the composition box shows top-right in the box colour.
shot="$build/e2e_ime_xim.png"
width=$(xwininfo -id "$win" | awk '/Width:/{print $2}')
box_pixels() {
    import -window "$win" "$shot" 2> /dev/null || return 1
    convert "$shot" -crop "300x32+$((width - 300))+0" +repage txt:- |
        awk '/#202060|#E0E060/ { n++ } END { print n + 0 }'
}
box_shown() { [ "$(box_pixels)" -gt 200 ]; }
wait_for 50 box_shown || fail "no composition box top-right ($(box_pixels) pixels)"
typed space 1
typed shift+space
box_gone() { [ "$(box_pixels)" -lt 20 ]; }
wait_for 50 box_gone || fail "the composition box stayed after the commit"

# No romanised key, nor the keys that chose, reached any queue.
grep -E '^key ' "$REPORT" && fail "keys reached the key buffer"
hits=$(awk '$1 == "hit" { print $2 }' "$REPORT" | tr '\n' ' ')
for code in 122 104 111 110 103 49 32; do
    echo " $hits " | grep -q " -\?$code " && fail "key-hit code $code arrived: $hits"
done
echo " $hits " | grep -q " $((0x40000000 + 0x4E2D)) " || fail "中 was not committed to the key-hit queue: $hits"
awk '$1 == "snap" { for (i = 2; i <= NF; i++) if ($i != "shift") print }' "$REPORT" | grep -q . &&
    fail "a device snapshot holds a composing key: $(grep '^snap' "$REPORT" | tr '\n' ';')"
awk '$1 == "held" && $2 > 1' "$REPORT" | grep -q . && fail "more than Shift was held: $(grep '^held' "$REPORT" | tr '\n' ' ')"

# The messages in order: ON, CHANGEs ending with the composition, RESULT 中, OFF.
order=$(awk '$1 == "msg" { if ($2 == 1) { print ($3 == "\"\"" ? "E" : "C") } else print $2 }' "$REPORT" | uniq | tr -d '\n')
msgs=$(grep '^msg' "$REPORT" | tr '\n' ';')
[[ "$order" =~ ^0C+E?2E?3$ ]] || fail "messages out of order ($order): $msgs"
grep -q '^msg 2 中 ' "$REPORT" || fail "the result is not 中: $msgs"
grep -q '^msg 1 zhon\?g\? [0-9]* 0 [1-9]' "$REPORT" || fail "no romanised composition with its target clause: $msgs"

xdotool key --window "$win" Escape
wait_exit "$APP_PID" $((50 * ${MORV_TIME_SCALE:-1})) || fail "Escape did not end the program"
APP_PID=""
echo "uim-xim: nothing of z h o n g in any queue, 中 committed, messages $order, box drawn"
