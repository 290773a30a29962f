#!/usr/bin/env bash
# The real game under Xvfb: a 640 x 400 window titled MORV whose title screen,
# read back cell by cell from a screenshot, is the MORV banner, the board
# picture and the main menu in white on blue; keys from xdotool turn the
# powerups off, start a game and place an X; closing the window ends it with 0.
set -u
morv=$1 build=$2
source "$(dirname "$0")/lib.sh"
cells_tool="$build/tests/screen_cells"
[ -x "$cells_tool" ] || fail "the helper $cells_tool is not built"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent

"$morv" 2> "$build/e2e_game.err" &
APP_PID=$!
win=$(find_window MORV) || fail "no window named MORV"
size=$(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$size" = "640x400" ] || fail "window is $size, not 640x400"

shot="$build/e2e_game.png"
cells="$build/e2e_game.cells"
# Screenshot, decoded into 25 rows of text and 25 rows of colours.
read_screen() {
    import -window "$win" "$shot" 2> /dev/null && convert "$shot" ppm:"$shot.ppm" &&
        "$cells_tool" "$shot.ppm" > "$cells"
}
# A text row without its trailing blanks.
text_row() { sed -n "${1}p" "$cells" | sed 's/ *$//'; }
colour_row() { sed -n "$((25 + $1))p" "$cells"; }
# Polls the screen until row $1 is $2 (trailing blanks aside).
screen_shows() { read_screen && [ "$(text_row "$1")" = "$2" ]; }
wait_row() {
    wait_for 100 screen_shows "$1" "$2" || fail "row $1 is '$(text_row "$1")', expected '$2'"
}

wait_row 15 "    <Play!> <Options> <Help> <Quit>"
expected=(
    "         ╔═╦═╗ ╔═══╗ ╔═══╗ ║   ║"
    "         ║ ║ ║ ║   ║ ║   ║ ║   ║"
    "         ║ ║ ║ ║   ║ ║╔══╝ ║   ║"
    "         ║   ║ ║   ║ ║╚══╗ ╚╗ ╔╝"
    "         ║   ║ ╚═══╝ ║   ║  ╚═╝"
    ""
    "               ║OO║OO║XX║"
    "               ╠══╬══╬══╣"
    "               ║OO║XX║OO║"
    "               ╠══╬══╬══╣"
    "               ║XX║OO║OO║"
)
for i in "${!expected[@]}"; do
    row=$((i + 1))
    [ "$(text_row $row)" = "${expected[$i]}" ] || fail "title row $row is '$(text_row $row)'"
done
# Printed cells are white (f) on blue (1); the banner's blanks show blue.
case "$(colour_row 9)" in
    *f1f1f1f1f1f1f1f1f1f1*) ;;
    *) fail "the board picture is not white on blue: $(colour_row 9)" ;;
esac
[ "$(colour_row 1 | cut -c1-18)" = "-1-1-1-1-1-1-1-1-1" ] || fail "the banner row is not on blue"

win=$(focus_window MORV) || fail "could not focus the window"
# Options, Powerups, OFF, then Back.
xdotool key Right 5
wait_row 12 "             Options:"
xdotool key 5
wait_row 18 "              <OFF> <ON>"
xdotool key 5
wait_row 18 ""
xdotool key Right Right Right 5
wait_row 15 "    <Play!> <Options> <Help> <Quit>"
# Play: no powerup screen, player 1's turn at floor 2, row 2, column 2.
xdotool key 5
wait_row 5 " Power: # 1"
[ "$(text_row 1)" = "            Player 1 (X)" ] || fail "no player label: '$(text_row 1)'"
[ "$(text_row 2)" = " Floor:  2" ] || fail "floor line: '$(text_row 2)'"
xdotool key 5
wait_row 13 "             ║   ║ X ║   ║"
[ "$(text_row 12)" = "             ║   ║X X║   ║" ] || fail "the X glyph differs: '$(text_row 12)'"
[ "$(colour_row 13 | cut -c39-40)" = "41" ] || fail "the X is not red on blue: $(colour_row 13)"

close_and_expect_exit "$build" MORV
echo "MORV 640x400: title read back cell by cell; a move made with xdotool; closed in ${ELAPSED_MS} ms"
