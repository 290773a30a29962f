#!/usr/bin/env bash
# examples/gallery under Xvfb: the window's pixels at chosen points show the
# line colours and styles, the view-port edge, the world window's origin, a
# half-transparent box over the ramp and the mirrored copy; a key ends it with
# exit code 0.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent

"$build/examples/gallery" 2> "$build/e2e_gallery.err" &
APP_PID=$!
win=$(focus_window Gallery) || fail "no window named Gallery"
shot="$build/e2e_gallery.png"
raw="$build/e2e_gallery.rgb"

# The colour at x y of the last screenshot, as RRGGBB.
pixel() { od -A n -t x1 -j $(( ($2 * 640 + $1) * 3 )) -N 3 "$raw" | tr -d ' \n'; }
take_shot() { import -window "$win" "$shot" && convert "$shot" -depth 8 rgb:"$raw"; }
# The mirrored copy is drawn last: its red bar at the right edge means all is there.
drawn() { take_shot && [ "$(pixel 639 416)" = ff0000 ]; }
wait_for 100 drawn || fail "the gallery was not drawn (639,416 is $(pixel 639 416))"
size=$(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$size" = "640x480" ] || fail "window is $size, not 640x480"

expect() {
    local x=$1 y=$2 want=$3 what=$4 got
    got=$(pixel "$x" "$y")
    [ "$got" = "$want" ] || fail "$what: ($x,$y) is $got, expected $want"
}

# The 16 text colours, one line each.
colours=(000000 0000aa 00aa00 00aaaa aa0000 aa00aa aa5500 aaaaaa 555555 5555ff 55ff55 55ffff ff5555 ff55ff ffff55 ffffff)
for i in "${!colours[@]}"; do expect 160 $((24 + 8 * i)) "${colours[$i]}" "line colour $i"; done
# 0xFF00 draws 8 and skips 8 from x 16; 0xAAAA every other pixel.
expect 16 160 ffffff "style 0xFF00"; expect 23 160 ffffff "style 0xFF00"
expect 24 160 000000 "style 0xFF00 gap"; expect 32 160 ffffff "style 0xFF00"
expect 16 176 ffffff "style 0xAAAA"; expect 17 176 000000 "style 0xAAAA gap"
# The green box starts at x 300 but the view begins at 340, framed at 339.
expect 338 90 000000 "outside the frame"; expect 339 90 808080 "view frame"
expect 340 90 00c000 "box clipped at the view's edge"; expect 341 90 00c000 "clipped box"
# World (0,0) of the window (-1,-1)-(1,1) on (16,264)-(303,463) is pixel (160,364).
expect 160 300 ffff00 "vertical world axis"; expect 100 364 ffff00 "horizontal world axis"
expect 161 300 000000 "beside the world axis"
# The red box of alpha 0x80 over the ramp at x 360: halves of each channel.
r=$(( (360 - 336) * 255 / 287 ))
ramp=$(( r << 16 | (255 - r) ))
blend() { printf '%06x' $(( (($1 & 0xFEFEFE) + ($2 & 0xFEFEFE)) >> 1 )); }
expect 360 300 "$(blend $ramp 0xFF0000)" "red over the ramp"
expect 360 330 "$(printf '%06x' $ramp)" "the ramp itself"
# Red and green overlap at x 440.
r=$(( (440 - 336) * 255 / 287 ))
expect 440 300 "$(blend 0x$(blend $(( r << 16 | (255 - r) )) 0xFF0000) 0x00FF00)" "red and green over the ramp"
# The red bar at the left of the quarter: left in the scaled copy, right in the mirrored one.
expect 320 416 ff0000 "bar in the scaled copy"; expect 480 416 000000 "mirrored copy's left"
expect 639 416 ff0000 "bar in the mirrored copy"

# The key's release may find the window already gone, the press having
# ended the program; the wait below tells whether the press arrived.
xdotool key --window "$win" space 2> /dev/null || true
wait_exit "$APP_PID" 50 || fail "still running 5 s after a key"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
APP_PID=""
echo "gallery: colours, styles, view edge, world origin, blending and mirrored copy as drawn; exit code 0"
