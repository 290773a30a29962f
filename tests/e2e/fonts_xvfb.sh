#!/usr/bin/env bash
# examples/fonts under Xvfb: the loaded fonts draw white letters, the PNG
# disc is yellow inside and transparent outside, and a key ends it with exit
# code 0.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent

"$build/examples/fonts" 2> "$build/e2e_fonts.err" &
APP_PID=$!
win=$(focus_window Fonts) || fail "no window named Fonts"
shot="$build/e2e_fonts.png"
raw="$build/e2e_fonts.rgb"

pixel() { od -A n -t x1 -j $(( ($2 * 640 + $1) * 3 )) -N 3 "$raw" | tr -d ' \n'; }
take_shot() { import -window "$win" "$shot" && convert "$shot" -depth 8 rgb:"$raw"; }
# The disc is drawn last.
drawn() { take_shot && [ "$(pixel 472 424)" = ffdc00 ]; }
wait_for 100 drawn || fail "the disc was not drawn (592,424 is $(pixel 472 424))"

# Some white in the 32-pixel line, none right of it. One pass over the
# picture counts the white points on a 2-pixel grid.
white=$(od -A n -t x1 -v -w3 "$raw" | awk '
    { x = (NR - 1) % 640; y = int((NR - 1) / 640) }
    x >= 16 && x <= 300 && y >= 70 && y <= 96 && x % 2 == 0 && y % 2 == 0 &&
    $1 $2 $3 == "ffffff" { n++ }
    END { print n + 0 }')
[ "$white" -gt 20 ] || fail "the 32-pixel line shows $white white points"
[ "$(pixel 630 90)" = 000000 ] || fail "(630,90) is $(pixel 630 90), expected black"
# Outside the disc, inside its square: what lay below shows through.
[ "$(pixel 441 393)" != ffdc00 ] || fail "the disc's transparent corner is yellow"

xdotool key --window "$win" space
wait_exit "$APP_PID" 50 || fail "still running 5 s after a key"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
APP_PID=""
echo "fonts: loaded-font letters, transparent PNG over text; exit code 0"
