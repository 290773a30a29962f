#!/usr/bin/env bash
# A text screen with a loaded monospace font under Xvfb: the window is 80 cells
# of the font's width by 25 rows of 20 pixels, and the refresh draws the first
# cell's block in yellow on blue from the font's glyphs.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
out="$build/e2e_mono.out"
: > "$out"
"$build/tests/mono_text_page" > "$out" 2> "$build/e2e_mono.err" &
APP_PID=$!
wait_for $((100 * ${MORV_TIME_SCALE:-1})) grep -q "CELL\|NOFONT" "$out" || fail "the program did not draw its page"
grep -q NOFONT "$out" && fail "DejaVu Sans Mono was not found"
cw=$(sed -n 's/^CELL //p' "$out")
win=$(find_window Untitled) || fail "no window named Untitled"
shot="$build/e2e_mono.png"
size=""
has_size() {
    size=$(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
    [ "$size" = "$((80 * cw))x500" ]
}
wait_for 50 has_size || fail "window is $size, not $((80 * cw))x500"
block_shown() {
    import -window "$win" "$shot" 2> /dev/null &&
        [ "$(convert "$shot" -format "%[hex:p{$((cw / 2)),10}]" info:)" = FFFF55 ]
}
wait_for 50 block_shown || fail "the first cell is not yellow"
[ "$(convert "$shot" -format "%[hex:p{$((cw * 30)),10}]" info:)" = 000000 ] || fail "an empty cell is not black"
close_and_expect_exit "$build" Untitled
echo "a text page in DejaVu Sans Mono: cells ${cw}x20, the block drawn in yellow on blue"
