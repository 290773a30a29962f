#!/usr/bin/env bash
# Real key presses give no phantom keys: taps of 5, 15 and 30 ms of Up, keypad 8
# (Num Lock off) and "a" each type exactly one key and leave nothing held, and a
# key held for a second repeats after 500 ms, then every 30 ms.
set -u
build=$2
source "$(dirname "$0")/lib.sh"
start_xvfb
export SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
REPORT="$build/e2e_key_repeat.out"
: > "$REPORT"
"$build/tests/key_report" > "$REPORT" 2> "$build/e2e_key_repeat.err" &
APP_PID=$!
focus_window KEYS > /dev/null || fail "no window named KEYS took the focus"
wait_for 50 report_settled 1 || fail "the program never settled"

# The milliseconds between the first press and the first release in SEGMENT, as
# the program read them.
held_seen_ms() {
    echo "$SEGMENT" | awk '$1 == "hit" && $3 > 0 && p == "" { p = $2 }
                           $1 == "hit" && $3 < 0 && r == "" { r = $2 } END { print r - p }'
}

# A machine busy enough to hold back xdotool's release for the repeat delay
# turns a tap into a held key; such a tap proves nothing and is tried again.
tap() {
    local key=$1 ms=$2 want=$3 what="$1 tapped $2 ms" attempt held presses
    for attempt in 1 2 3; do
        press_and_settle "$what" keydown --delay 0 "$key" sleep "0.0$(printf %02d "$ms")" keyup --delay 0 "$key"
        held=$(held_seen_ms)
        if [ "$held" -lt 400 ]; then
            [ "$TYPED" = "$want" ] || fail "$what typed '$(echo $TYPED)', expected '$want'"
            presses=$(echo "$SEGMENT" | awk '$1 == "hit" && $3 > 0' | wc -l)
            [ "$presses" -eq 1 ] || fail "$what gave $presses presses"
            return 0
        fi
        echo "$what was seen held for $held ms; tapping again" >&2
    done
    fail "$what was never seen as a tap"
}

for ms in 5 15 30; do
    tap Up "$ms" "0 72"
    tap KP_Up "$ms" "0 72"
    tap a "$ms" "97"
done

# The press, then a repeat at 500 ms and every 30 ms after: 18 keys for a
# second. On a busy machine xdotool's release can come late, so the count is
# checked against the hold the program saw; a stall of the machine (a gap of
# more than 50 ms between repeats) spoils the measure, and it is taken again.
for attempt in 1 2 3; do
    press_and_settle "a held 1 s" keydown --delay 0 a sleep 1 keyup --delay 0 a
    [ "$(echo "$TYPED" | sort -u)" = 97 ] || fail "a held 1 s typed other keys"
    read -r count first_ms second_ms last_ms longest_gap_ms < <(echo "$SEGMENT" | awk '
        $1 == "key" { n++; if (n == 1) f = $2; if (n == 2) s = $2; if (n > 2 && $2 - l > g) g = $2 - l; l = $2 }
        END { print n, f, s, l, g + 0 }')
    [ "$longest_gap_ms" -le 50 ] && break
    echo "a held 1 s: a stall of $longest_gap_ms ms between repeats; holding again" >&2
    [ "$attempt" -lt 3 ] || fail "the machine stalled in every hold"
done
held_ms=$(held_seen_ms)
[ "$held_ms" -ge 950 ] || fail "a was seen held only $held_ms ms"
expected=$((2 + (held_ms - 500) / 30))
[ "$count" -ge $((expected - 2)) ] && [ "$count" -le $((expected + 1)) ] ||
    fail "a held $held_ms ms typed $count keys, expected $expected; read at" \
         "$(echo "$SEGMENT" | awk '$1 == "key" { printf "%s ", $2 }')"
delay_ms=$((second_ms - first_ms))
[ "$delay_ms" -ge 480 ] && [ "$delay_ms" -le 600 ] || fail "first repeat after $delay_ms ms, expected 500"
interval_us=$(( (last_ms - second_ms) * 1000 / (count - 2) ))
[ "$interval_us" -ge 25000 ] && [ "$interval_us" -le 36000 ] || fail "repeats every $interval_us us, expected 30 ms"

close_and_expect_exit "$build" KEYS
echo "taps of 5, 15, 30 ms of Up, keypad 8 and a typed one key each and left nothing held;" \
     "a held $held_ms ms typed $count keys: first repeat after $delay_ms ms," \
     "then one every $((interval_us / 1000)).$(printf %03d $((interval_us % 1000))) ms"
