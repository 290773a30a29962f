#!/usr/bin/env bash
# The window scaled for a large screen, under an Xvfb of 1920 x 1080: the game
# at MORV_SCALE=2 opens 1280 x 800, sharp (every 2 x 2 block one colour) with
# SDL's own drawing and with OpenGL's, and its screenshot halved reads back
# the title screen cell by cell; a 320 x 200
# screen is fitted by itself to 4 times its size and a 40 x 25 one at
# MORV_SCALE=2 to twice, and in both the pointer over window pixel (k x, k y)
# reads as (x, y); a program that moves the pointer to a page pixel finds it
# there, over the middle of the pixel's block.
set -u
morv=$1 build=$2
source "$(dirname "$0")/lib.sh"
cells_tool="$build/tests/screen_cells"
[ -x "$cells_tool" ] || fail "the helper $cells_tool is not built"
start_xvfb 1920x1080x24
export SDL_AUDIODRIVER=dummy

size_of() { xwininfo -id "$1" 2> /dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}'; }
# A program's window can be made again while it starts and when it changes
# its screen: it is looked for by name ($1) each time, its id left in $win.
window_is() { win=$(find_window "$1") && [ "$(size_of "$win")" = "$2" ]; }

# --- The game at MORV_SCALE=2 ---------------------------------------------------
# Drawn by SDL itself, as on a machine without a graphics processor, and
# through OpenGL, as where there is one.
shot="$build/e2e_scaled.png"
cells="$build/e2e_scaled.cells"
# The screenshot halved by taking every other pixel, and read back cell by cell.
read_screen() {
    import -window "$win" "$shot" 2> /dev/null && convert "$shot" -sample 50% ppm:"$shot.ppm" &&
        "$cells_tool" "$shot.ppm" > "$cells"
}
text_row() { sed -n "${1}p" "$cells" | sed 's/ *$//'; }
screen_shows() { read_screen && [ "$(text_row "$1")" = "$2" ]; }
for renderer in software opengl; do
    MORV_SCALE=2 SDL_RENDER_DRIVER=$renderer "$morv" 2> "$build/e2e_scaled.err" &
    APP_PID=$!
    wait_for 50 window_is MORV 1280x800 || fail "$renderer: the window is $(size_of "$win"), not 1280x800"
    wait_for 100 screen_shows 15 "    <Play!> <Options> <Help> <Quit>" || fail "$renderer: row 15 is '$(text_row 15)'"
    [ "$(text_row 1)" = "         ╔═╦═╗ ╔═══╗ ╔═══╗ ║   ║" ] || fail "$renderer: the banner's first row is '$(text_row 1)'"
    [ "$(text_row 11)" = "               ║XX║OO║OO║" ] || fail "$renderer: the board's last row is '$(text_row 11)'"
    case "$(sed -n 34p "$cells")" in
        *f1f1f1f1f1f1f1f1f1f1*) ;;
        *) fail "$renderer: the board picture is not white on blue: $(sed -n 34p "$cells")" ;;
    esac
    # Nearest-neighbour scaling: the halved picture doubled again is the picture.
    [ "$(identify -format %wx%h "$shot")" = 1280x800 ] || fail "$renderer: the shot is $(identify -format %wx%h "$shot")"
    convert "$shot" -sample 50% -sample 200% "$shot.blocks.png"
    differ=$(compare -metric AE "$shot" "$shot.blocks.png" null: 2>&1)
    [ "$differ" = 0 ] || fail "$renderer: the picture is not sharp: $differ pixels differ from 2 x 2 blocks"
    close_and_expect_exit "$build" MORV
done

# --- The pointer in page pixels --------------------------------------------------
REPORT=$(mktemp)
expect_line() {
    wait_for 50 grep -qx "$2" "$REPORT" || fail "$1: no line \"$2\" in: $(tail -n 5 "$REPORT" | tr '\n' ';')"
}
# A screen, its window size, then a window pixel and the page position it reads as.
check_pointer() {
    local screen=$1 size=$2 x=$3 y=$4 want_x=$5 want_y=$6 id
    : > "$REPORT"
    "$build/tests/mouse_report" "$screen" > "$REPORT" 2> /dev/null &
    APP_PID=$!
    id=$(focus_window Untitled) || fail "$screen: no window"
    wait_for 50 grep -qx ready "$REPORT" || fail "$screen: the report never got ready"
    window_is Untitled "$size" || fail "$screen: the window is $(size_of "$win"), not $size"
    id=$win
    xdotool mousemove --window "$id" "$x" "$y" || fail "xdotool mousemove"
    expect_line "$screen: motion to ($x,$y)" "mouse $want_x $want_y 000 0"
    xdotool click 1
    expect_line "$screen: left press at ($x,$y)" "mouse $want_x $want_y 100 0"
    close_and_expect_exit "$build" Untitled
}
# 320 x 200 fits 4 times in 90 % of 1920 x 1080.
check_pointer 13 1280x800 400 200 100 50
check_pointer 13 1280x800 1276 796 319 199
MORV_SCALE=2 check_pointer 40 1280x800 200 100 6.75 3.625
# A program that moves the pointer to page pixel (100, 50) of the 4 times
# scaled 320 x 200 screen finds it there, and it stands over window pixel
# (402, 202), the middle of that pixel's block.
: > "$REPORT"
"$build/tests/mouse_report" 13 warp 100 50 > "$REPORT" 2> /dev/null &
APP_PID=$!
id=$(focus_window Untitled) || fail "warp: no window"
wait_for 50 grep -qx ready "$REPORT" || fail "warp: the report never got ready"
expect_line "warp" "mouse 100 50 000 0"
eval "$(xdotool getmouselocation --shell)"
origin=$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x, y}')
[ "$((X - ${origin% *})) $((Y - ${origin#* }))" = "402 202" ] ||
    fail "the pointer stands at window pixel ($((X - ${origin% *})), $((Y - ${origin#* }))), not (402, 202)"
close_and_expect_exit "$build" Untitled
rm -f "$REPORT"

echo "scaled window: 1280x800 game read back and sharp; pointer in page pixels at 4x and 2x"
