// Turns: a human's move with the cursor keys, the computer's random move, the
// computer's choice of floor and the test for a powerup that cannot be used.
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"

namespace {

// The locals of one turn.
struct TurnLocals {
    int16_t place = 0;  // marker code written into the chosen cell
    int16_t required = 0;  // what the chosen cell must hold
    int16_t found = 0;  // what the last confirmed cell held
    int16_t extra = 0;  // placements of powerup 2 so far
    int16_t sudden = 0;  // 1 in a sudden-death turn
    int16_t floor = 0, row = 0, column = 0;
};

constexpr int16_t nothing_found = 4;  // no cell holds it during play

// Setup of a placement from the powerup of the player on turn. False when the
// turn ends here without a move. Statements `line` to `line` + 14.
bool placement_setup(uint32_t line, TurnLocals& t) {
    STATEMENT(line, ASSIGN(t.found, nothing_found));
    int16_t powerup = 0;
    STATEMENT(line + 1, ASSIGN(powerup, power(turn())));
    switch (powerup) {
    case 1:
        STATEMENT(line + 2, ASSIGN(t.place, player_marker(turn(), 0)));
        break;
    case 2:
        STATEMENT(line + 3, ASSIGN(t.place, player_marker(turn(), 0)));
        STATEMENT(line + 4, ASSIGN(t.extra, t.extra + 1));
        if (CONDITION(line + 5, powerup_unusable(2) != 0)) return false;
        break;
    case 3:
        STATEMENT(line + 7, ASSIGN(t.required, player_marker(turn(), 1)));
        if (CONDITION(line + 8, powerup_unusable(3) != 0)) return false;
        break;
    case 4:
        STATEMENT(line + 10, swap_markers());
        return false;
    case 5:
        STATEMENT(line + 12, ASSIGN(t.place, cell_obstacle));
        break;
    case 6:
        STATEMENT(line + 13, ASSIGN(t.sudden, 1));
        STATEMENT(line + 14, ASSIGN(t.place, player_marker(turn(), 0)));
        break;
    default:
        break;
    }
    return true;
}

// The four status lines above the frame: statements `line` to `line` + 5.
void print_status(uint32_t line, const TurnLocals& t) {
    STATEMENT(line, locate(2, 1));
    STATEMENT(line + 1, colour(14));
    STATEMENT(line + 2, print_line(str_concat(str_lit(" Floor: "), str_from_int16(t.floor))));
    STATEMENT(line + 3, print_line(str_concat(str_lit(" Row: "), str_from_int16(t.row))));
    STATEMENT(line + 4, print_line(str_concat(str_lit(" Column: "), str_from_int16(t.column))));
    STATEMENT(line + 5, print_line(str_concat(str_lit(" Power: #"), str_from_int16(power(turn())))));
}

// Sudden death: every empty corner of the floor gets the marker. Statements
// `line` to `line` + 7.
void fill_corners(uint32_t line, int16_t floor, int16_t place) {
    if (CONDITION(line, board(floor, 1, 1) == cell_empty)) STATEMENT(line + 1, ASSIGN(board(floor, 1, 1), place));
    if (CONDITION(line + 2, board(floor, 1, 3) == cell_empty)) STATEMENT(line + 3, ASSIGN(board(floor, 1, 3), place));
    if (CONDITION(line + 4, board(floor, 3, 1) == cell_empty)) STATEMENT(line + 5, ASSIGN(board(floor, 3, 1), place));
    if (CONDITION(line + 6, board(floor, 3, 3) == cell_empty)) STATEMENT(line + 7, ASSIGN(board(floor, 3, 3), place));
}

// Counts the cells of floors first..last that hold `content` (or, with
// `equal` false, that do not). Statements `line` to `line` + 6.
int16_t count_cells(uint32_t line, int16_t first, int16_t last, int16_t content, bool equal) {
    int16_t count = 0;
    STATEMENT(line, ASSIGN(count, 0));
    CHECK(line + 1);
    for (int16_t f = first; f <= last; ++f) {
        CHECK(line + 2);
        for (int16_t r = 1; r <= 3; ++r) {
            CHECK(line + 3);
            for (int16_t k = 1; k <= 3; ++k) {
                if (CONDITION(line + 4, (board(f, r, k) == content) == equal))
                    STATEMENT(line + 5, ASSIGN(count, count + 1));
                CHECK(line + 6);
            }
        }
    }
    return count;
}

// The floor of the computer's search. Its floor is kept when it holds a cell
// with the required content; otherwise the first floor in play that has one
// becomes the computer's floor and is shown. 0 when no floor in play has one,
// so the search, which could never end, is not started.
int16_t computer_search_floor(int16_t floor, int16_t required) {
    int16_t result = 0, first = 0, last = 0;
    if (CONDITION(660, count_cells(661, floor, floor, required, true) > 0)) {
        STATEMENT(668, ASSIGN(result, floor));
        return result;
    }
    STATEMENT(669, ASSIGN(first, floor_bound(0)));
    STATEMENT(670, ASSIGN(last, floor_bound(1)));
    CHECK(671);
    for (int16_t f = first; f <= last && result == 0; ++f) {
        if (CONDITION(672, count_cells(661, f, f, required, true) > 0)) STATEMENT(673, ASSIGN(result, f));
        CHECK(674);
    }
    if (CONDITION(675, result != 0)) {
        STATEMENT(676, ASSIGN(cpu_floor(), result));
        STATEMENT(677, draw_floor(result));
    }
    return result;
}

}  // namespace

void human_move() {
    TurnLocals t;
    StrDesc* key = str_new(0, 0);
    while (placement_setup(480, t)) {
        STATEMENT(501, draw_board_frame());
        STATEMENT(502, draw_floor(2));
        STATEMENT(503, ASSIGN(t.floor, 2));
        STATEMENT(504, ASSIGN(t.row, 2));
        STATEMENT(505, ASSIGN(t.column, 2));
        STATEMENT(506, ASSIGN(key, str_lit("")));
        for (;;) {
            CHECK(507);
            STATEMENT(508, ASSIGN(key, key_buffer_read()));
            if (CONDITION(509, key_is(key, "\0H"))) STATEMENT(510, ASSIGN(t.row, t.row - 1));
            if (CONDITION(511, key_is(key, "\0P"))) STATEMENT(512, ASSIGN(t.row, t.row + 1));
            if (CONDITION(513, key_is(key, "\0K"))) STATEMENT(514, ASSIGN(t.column, t.column - 1));
            if (CONDITION(515, key_is(key, "\0M"))) STATEMENT(516, ASSIGN(t.column, t.column + 1));
            if (CONDITION(517, key_is(key, "\0G"))) STATEMENT(518, ASSIGN(t.floor, t.floor - 1));
            if (CONDITION(519, key_is(key, "\0I"))) STATEMENT(520, ASSIGN(t.floor, t.floor + 1));
            if (CONDITION(521, t.row < 1)) STATEMENT(522, ASSIGN(t.row, 1));
            if (CONDITION(523, t.row > 3)) STATEMENT(524, ASSIGN(t.row, 3));
            if (CONDITION(525, t.column < 1)) STATEMENT(526, ASSIGN(t.column, 1));
            if (CONDITION(527, t.column > 3)) STATEMENT(528, ASSIGN(t.column, 3));
            if (CONDITION(529, t.floor < 1)) STATEMENT(530, ASSIGN(t.floor, 1));
            if (CONDITION(531, t.floor > 3)) STATEMENT(532, ASSIGN(t.floor, 3));
            if (CONDITION(533, options(3) == 1 && t.floor != 2)) STATEMENT(534, ASSIGN(t.floor, 2));
            print_status(535, t);
            if (CONDITION(541, key_is(key, "\0I") || key_is(key, "\0G"))) STATEMENT(542, draw_floor(t.floor));
            if (CONDITION(543, t.sudden == 1 && key_is(key, "5"))) {
                fill_corners(544, t.floor, t.place);
                break;
            }
            if (CONDITION(553, key_is(key, "5"))) STATEMENT(554, ASSIGN(t.found, board(t.floor, t.row, t.column)));
            if (CONDITION(555, key_is(key, "\0H") || key_is(key, "\0P") || key_is(key, "\0K") || key_is(key, "\0M")))
                STATEMENT(556, draw_cursor_arrows(t.row, t.column));
            if (CONDITION(557, key_is(key, "5") && t.found == t.required)) break;
        }
        if (CONDITION(558, t.sudden != 1)) STATEMENT(559, ASSIGN(board(t.floor, t.row, t.column), t.place));
        if (CONDITION(560, options(2) == 1)) STATEMENT(561, ASSIGN(cpu_floor(), t.floor));
        STATEMENT(562, draw_floor(t.floor));
        if (CONDITION(563, t.extra != 1)) {
            STATEMENT(564, pause_seconds(5));
            break;
        }
    }
    str_free(key);
}

void computer_move() {
    TurnLocals t;
    int16_t n = 0;
    if (CONDITION(570, options(3) == 3)) STATEMENT(571, computer_pick_floor());
    while (placement_setup(573, t)) {
        STATEMENT(594, draw_board_frame());
        STATEMENT(595, draw_floor(cpu_floor()));
        if (CONDITION(596, t.sudden == 1)) {
            STATEMENT(597, randomize_timer());
            STATEMENT(598, ASSIGN(n, random_one_to(10)));
            CHECK(599);
            for (int16_t i = 1; i <= n; ++i) {
                if (CONDITION(600, options(3) == 1))
                    STATEMENT(601, ASSIGN(t.floor, 2));
                else
                    STATEMENT(603, ASSIGN(t.floor, random_one_to(3)));
                STATEMENT(604, draw_floor(t.floor));
                STATEMENT(605, locate(2, 1));
                STATEMENT(606, colour(14));
                STATEMENT(607, print_line(str_concat(str_lit(" Floor: "), str_from_int16(t.floor))));
                STATEMENT(608, print_line(str_concat(str_lit(" Power: #"), str_from_int16(power(turn())))));
                if (CONDITION(609, options(3) == 1)) break;
                CHECK(610);
            }
            fill_corners(611, t.floor, t.place);
        }
        STATEMENT(620, ASSIGN(t.floor, cpu_floor()));
        if (CONDITION(621, t.sudden != 1)) {
            STATEMENT(623, ASSIGN(t.floor, computer_search_floor(t.floor, t.required)));
            if (CONDITION(624, t.floor == 0)) break;  // nothing to find: the turn passes
            do {
                CHECK(625);
                STATEMENT(626, randomize_timer());
                STATEMENT(627, ASSIGN(t.row, random_one_to(3)));
                STATEMENT(628, ASSIGN(t.column, random_one_to(3)));
                print_status(629, t);
                STATEMENT(635, draw_cursor_arrows(t.row, t.column));
                STATEMENT(636, ASSIGN(t.found, board(t.floor, t.row, t.column)));
            } while (!CONDITION(637, t.found == t.required));
        }
        if (CONDITION(638, t.sudden != 1)) STATEMENT(639, ASSIGN(board(t.floor, t.row, t.column), t.place));
        STATEMENT(640, draw_floor(t.floor));
        if (CONDITION(641, t.extra != 1)) {
            STATEMENT(642, pause_seconds(5));
            break;
        }
    }
}

void computer_pick_floor() {
    ArrayDesc count;
    local_array_declare(count, 3);
    int16_t f = 0;
    CHECK(680);
    for (int16_t g = 1; g <= 3; ++g) {
        STATEMENT(681, ASSIGN(array_at(count, g), count_cells(682, g, g, cell_empty, false)));
        CHECK(689);
    }
    // With every floor full there is no floor to move to; the search that
    // follows then passes the turn.
    if (CONDITION(690,
                  array_at(count, cpu_floor()) == 9 &&
                      (array_at(count, 1) < 9 || array_at(count, 2) < 9 || array_at(count, 3) < 9))) {
        do {
            CHECK(691);
            STATEMENT(692, ASSIGN(f, random_one_to(3)));
        } while (!CONDITION(693, array_at(count, f) < 9));
        STATEMENT(694, ASSIGN(cpu_floor(), f));
    }
    array_release(count);
}

int16_t powerup_unusable(int16_t powerup) {
    int16_t result = 0, first = 0, last = 0;
    STATEMENT(700, ASSIGN(result, 0));
    STATEMENT(701, ASSIGN(first, floor_bound(0)));
    STATEMENT(702, ASSIGN(last, floor_bound(1)));
    if (CONDITION(703, powerup == 2)) {
        if (CONDITION(704, count_cells(705, first, last, cell_empty, false) == (last - first + 1) * 9))
            STATEMENT(712, ASSIGN(result, -1));
    }
    if (CONDITION(714, powerup == 3)) {
        if (CONDITION(715, count_cells(716, first, last, player_marker(turn(), 1), true) == 0))
            STATEMENT(723, ASSIGN(result, -1));
    }
    return result;
}
