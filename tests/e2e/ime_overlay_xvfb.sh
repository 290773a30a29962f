#!/usr/bin/env bash
# A composition posted through the exported input-method functions shows in
# the window's top-right corner under Xvfb: the box, the target clause, the
# text ink and the caret after it are read back from a screenshot; Space makes
# the program commit "ab", which reaches its key buffer and clears the box.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
out="$build/e2e_ime.out"
: > "$out"
"$build/tests/ime_compose" > "$out" 2> "$build/e2e_ime.err" &
APP_PID=$!
wait_for $((100 * ${MORV_TIME_SCALE:-1})) grep -q "COMPOSING\|NOEXPORT" "$out" || fail "the program did not compose"
grep -q NOEXPORT "$out" && fail "InputMethod_PostEvent is not exported"
win=$(focus_window Untitled) || fail "no window named Untitled"
shot="$build/e2e_ime.png"
width=$(xwininfo -id "$win" | awk '/Width:/{print $2}')
# One line per finding in the top-right 300 x 40 pixels: "box n", "clause n",
# "caret x", "ink n" (white left of the caret), "below n" (box colour under
# the overlay's 32 rows).
survey() {
    import -window "$win" "$shot" 2> /dev/null || return 1
    convert "$shot" -crop "300x40+$((width - 300))+0" +repage txt:- | awk -F'[,: ]+' '
        /^#/ { next }
        { x = $1; y = $2; c = ""; for (i = 3; i <= NF; i++) if ($i ~ /^#/) { c = substr($i, 1, 7); break } }
        c == "#202060" { if (y < 32) box++; else below++ }
        c == "#E0E060" { clause++; if (x > clause_right) clause_right = x }
        c == "#FFFFFF" { white[x] += (y >= 3 && y <= 28); wx[NR] = x; wy[NR] = y }
        END {
            caret = -1
            for (x in white) if (white[x] == 26 && x + 0 > caret) caret = x + 0
            ink = 0
            for (n in wx) if (wx[n] < caret - 1 && wy[n] < 32) ink++
            printf "box %d\nclause %d\nclause_right %d\ncaret %d\nink %d\nbelow %d\n", box, clause, clause_right, caret, ink, below
        }' > "$build/e2e_ime.survey"
}
value() { awk -v k="$1" '$1 == k { print $2 }' "$build/e2e_ime.survey"; }
composition_shown() { survey && [ "$(value box)" -gt 100 ] && [ "$(value caret)" -ge 0 ]; }
wait_for 50 composition_shown || fail "no composition box with a caret: $(tr '\n' ' ' < "$build/e2e_ime.survey")"
[ "$(value clause)" -gt 100 ] || fail "the target clause is not highlighted"
[ "$(value caret)" -gt "$(value clause_right)" ] || fail "the caret is not after the clause"
[ "$(value ink)" -gt 20 ] || fail "no text drawn after the clause"
[ "$(value below)" -eq 0 ] || fail "the overlay reaches below its 32 rows"
found="$(tr '\n' ' ' < "$build/e2e_ime.survey")"

xdotool key --window "$win" space
wait_for 50 grep -q "KEY b" "$out" || fail "the committed text was not typed"
grep -A1 "KEY a" "$out" | grep -q "KEY b" || fail "the committed text arrived out of order"
box_gone() { survey && [ "$(value box)" -eq 0 ]; }
wait_for 50 box_gone || fail "the composition box stayed after the commit"
close_and_expect_exit "$build" Untitled
echo "composition drawn top-right ($found) and committed as a b"
