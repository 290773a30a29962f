// Powerups: the draw before a turn with its flickering screen, and the swap of
// every X and O on the floors in play.
#include "game/cp437_text.h"
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"

namespace {

// Shows floors 1, 2 and 3 in turn, a second each: five statements from `line`.
void show_all_floors(uint32_t line) {
    CHECK(line);
    for (int16_t f = 1; f <= 3; ++f) {
        STATEMENT(line + 1, draw_board_frame());
        STATEMENT(line + 2, draw_floor(f));
        STATEMENT(line + 3, pause_seconds(1));
        CHECK(line + 4);
    }
}

// Every cell of the floors in play holding `from` gets `to`: seven statements.
void replace_marker(uint32_t line, int16_t first, int16_t last, int16_t from, int16_t to) {
    CHECK(line);
    for (int16_t f = first; f <= last; ++f) {
        CHECK(line + 1);
        for (int16_t r = 1; r <= 3; ++r) {
            CHECK(line + 2);
            for (int16_t k = 1; k <= 3; ++k) {
                if (CONDITION(line + 3, board(f, r, k) == from)) STATEMENT(line + 4, ASSIGN(board(f, r, k), to));
                CHECK(line + 5);
            }
            CHECK(line + 6);
        }
        CHECK(line + 7);
    }
}

}  // namespace

void roll_powerup() {
    int16_t n = 0;
    STATEMENT(380, cls());
    STATEMENT(381, locate(1, 14));
    if (CONDITION(382, turn() == 1)) {
        STATEMENT(383, colour(4));
        STATEMENT(384, print_line(str_lit("Player 1 (X)")));
    } else {
        STATEMENT(386, colour(3));
        STATEMENT(387, print_line(str_lit("Player 2 (O)")));
    }
    STATEMENT(389, colour(14, 1));
    STATEMENT(390, print_line(cp437<"        ╔══════════════════════╗">()));
    STATEMENT(391, print_line(cp437<"        ║       Powerup!       ║">()));
    STATEMENT(392, print_line(cp437<"        ╠═╦════════════════════╣">()));
    STATEMENT(393, print_line(cp437<"        ║ ║                    ║">()));
    STATEMENT(394, print_line(cp437<"        ╚═╩════════════════════╝">()));
    STATEMENT(395, randomize_timer());
    STATEMENT(396, ASSIGN(n, random_one_to(25)));
    CHECK(397);
    for (int16_t i = 1; i <= n; ++i) {
        STATEMENT(398, ASSIGN(power(turn()), random_one_to(6)));
        STATEMENT(399, locate(5, 9));
        STATEMENT(400, print_line(str_concat(str_from_int16(power(turn())), str_lit(" "))));
        CHECK(401);
    }
    STATEMENT(402, locate(5, 12));
    if (CONDITION(403, power(turn()) == 1)) STATEMENT(404, print_line(str_lit("Nothing")));
    if (CONDITION(405, power(turn()) == 2)) STATEMENT(406, print_line(str_lit("Add 1 marker (+1)")));
    if (CONDITION(407, power(turn()) == 3)) STATEMENT(408, print_line(str_lit("Sub 1 marker (-1)")));
    if (CONDITION(409, power(turn()) == 4)) STATEMENT(410, print_line(str_lit("Swap markers")));
    if (CONDITION(411, power(turn()) == 5)) STATEMENT(412, print_line(str_lit("Add obstacle")));
    if (CONDITION(413, power(turn()) == 6)) STATEMENT(414, print_line(str_lit("Sudden Death!")));
    STATEMENT(415, pause_seconds(3));
}

void swap_markers() {
    int16_t first = 0, last = 0;
    STATEMENT(420, ASSIGN(first, floor_bound(0)));
    STATEMENT(421, ASSIGN(last, floor_bound(1)));
    show_all_floors(422);
    replace_marker(427, first, last, cell_o, cell_swapping);
    show_all_floors(435);
    replace_marker(440, first, last, cell_x, cell_o);
    show_all_floors(448);
    replace_marker(453, first, last, cell_swapping, cell_x);
    show_all_floors(461);
}
