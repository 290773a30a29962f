#!/bin/bash
# Real pointer motion, clicks and wheel notches from xdotool reach mouse_x,
# mouse_y, mouse_button and mouse_wheel in the coordinates of a 40 x 25 and an
# 80 x 25 text screen and of a 320 x 200 graphics screen.
set -u
source "$(dirname "$0")/lib.sh"
BUILD=$2
REPORT=$(mktemp)

start_xvfb
# Window pixels are page pixels here, the 320 x 200 screen included;
# scaled_window_xvfb.sh follows the pointer through a scaled window.
export MORV_SCALE=1

# Moves the pointer over the window and waits for the report's line.
expect_line() {
    local what=$1 line=$2
    wait_for 50 grep -qx "$line" "$REPORT" || fail "$what: no line \"$line\" in: $(tail -n 5 "$REPORT" | tr '\n' ';')"
}

# One screen: the arguments are the screen, then the page positions expected
# for window pixel (100, 50) and for (7, 0).
check_screen() {
    local screen=$1 x=$2 y=$3 corner_x=$4 corner_y=$5
    : > "$REPORT"
    SDL_AUDIODRIVER=dummy "$BUILD/tests/mouse_report" "$screen" > "$REPORT" 2> /dev/null &
    APP_PID=$!
    local id
    id=$(focus_window Untitled) || fail "no window"
    wait_for 50 grep -qx ready "$REPORT" || fail "$screen: the report never got ready"
    xdotool mousemove --window "$id" 100 50 || fail "xdotool mousemove"
    expect_line "$screen: motion" "mouse $x $y 000 0"
    xdotool click 1
    expect_line "$screen: left press" "mouse $x $y 100 0"
    expect_line "$screen: left release" "mouse $x $y 000 0"
    xdotool click 3
    expect_line "$screen: right press" "mouse $x $y 010 0"
    xdotool click 2
    expect_line "$screen: middle press" "mouse $x $y 001 0"
    xdotool click 4
    expect_line "$screen: a notch up" "mouse $x $y 000 -1"
    xdotool click 5 click 5
    expect_line "$screen: two notches down" "mouse $x $y 000 1"
    xdotool mousemove --window "$id" 7 0
    expect_line "$screen: the top-left corner" "mouse $corner_x $corner_y 000 1"
    "$BUILD/tests/x_close_window" Untitled
    wait_exit "$APP_PID" 30 || fail "$screen: still running after the close"
    APP_PID=""
}

# 40 columns: 16-pixel cells; 80 columns: 8-pixel cells; both 16 rows high.
check_screen 40 6.75 3.625 0.9375 0.501
check_screen 80 13 3.625 1.375 0.501
check_screen 13 100 50 7 0
rm -f "$REPORT"
echo "mouse under Xvfb: OK"
