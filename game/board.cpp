// The board model: floors in play, markers of the players, and the three checks
// that end a game (lines on a floor, lines through the floors, a full board).
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"

namespace {

struct Cell {
    int16_t floor, row, column;
};

// Loads the three cells of one line into the list and, when all three hold the
// marker, sets the result. Five statements, numbered from `line`.
void test_line(uint32_t line, ArrayDesc& cells, int16_t marker, int16_t result, Cell a, Cell b, Cell c) {
    STATEMENT(line, ASSIGN(array_at(cells, 1), board(a.floor, a.row, a.column)));
    STATEMENT(line + 1, ASSIGN(array_at(cells, 2), board(b.floor, b.row, b.column)));
    STATEMENT(line + 2, ASSIGN(array_at(cells, 3), board(c.floor, c.row, c.column)));
    if (CONDITION(line + 3,
                  array_at(cells, 3) == marker && array_at(cells, 2) == marker && array_at(cells, 1) == marker))
        STATEMENT(line + 4, ASSIGN(game_over(), result));
}

}  // namespace

int16_t floor_bound(int16_t which) {
    int16_t first = 0, last = 0, result = 0;
    if (CONDITION(730, options(3) == 1)) {
        STATEMENT(731, ASSIGN(first, 2));
        STATEMENT(732, ASSIGN(last, 2));
    } else {
        STATEMENT(734, ASSIGN(first, 1));
        STATEMENT(735, ASSIGN(last, 3));
    }
    if (CONDITION(737, which != 0))
        STATEMENT(738, ASSIGN(result, last));
    else
        STATEMENT(740, ASSIGN(result, first));
    return result;
}

int16_t player_marker(int16_t player, int16_t flag) {
    int16_t result = 0;
    if (CONDITION(745, flag != 1)) {
        if (CONDITION(746, player == 1)) STATEMENT(747, ASSIGN(result, cell_x));
        if (CONDITION(748, player == 2)) STATEMENT(749, ASSIGN(result, cell_o));
    } else {
        if (CONDITION(751, player == 1)) STATEMENT(752, ASSIGN(result, cell_o));
        if (CONDITION(753, player == 2)) STATEMENT(754, ASSIGN(result, cell_x));
    }
    return result;
}

void check_floor_lines() {
    ArrayDesc cells;
    local_array_declare(cells, 3);
    int16_t marker = 0, first = 0, last = 0;
    STATEMENT(760, ASSIGN(marker, player_marker(turn(), 0)));
    STATEMENT(761, ASSIGN(first, floor_bound(0)));
    STATEMENT(762, ASSIGN(last, floor_bound(1)));
    CHECK(763);
    for (int16_t f = first; f <= last; ++f) {
        CHECK(764);
        for (int16_t r = 1; r <= 3; ++r) {
            test_line(765, cells, marker, 1, {f, r, 1}, {f, r, 2}, {f, r, 3});
            CHECK(770);
        }
        CHECK(771);
    }
    CHECK(772);
    for (int16_t f = first; f <= last; ++f) {
        CHECK(773);
        for (int16_t k = 1; k <= 3; ++k) {
            test_line(774, cells, marker, 1, {f, 1, k}, {f, 2, k}, {f, 3, k});
            CHECK(779);
        }
        CHECK(780);
    }
    CHECK(781);
    for (int16_t f = first; f <= last; ++f) {
        test_line(782, cells, marker, 1, {f, 1, 1}, {f, 2, 2}, {f, 3, 3});
        test_line(787, cells, marker, 1, {f, 3, 1}, {f, 2, 2}, {f, 1, 3});
        CHECK(792);
    }
    array_release(cells);
}

void check_cross_lines() {
    ArrayDesc cells;
    local_array_declare(cells, 3);
    int16_t marker = 0;
    STATEMENT(800, ASSIGN(marker, player_marker(turn(), 0)));
    CHECK(801);
    for (int16_t r = 1; r <= 3; ++r) {
        CHECK(802);
        for (int16_t k = 1; k <= 3; ++k) {
            test_line(803, cells, marker, 2, {1, r, k}, {2, r, k}, {3, r, k});
            CHECK(808);
        }
        CHECK(809);
    }
    CHECK(810);
    for (int16_t k = 1; k <= 3; ++k) {
        test_line(811, cells, marker, 2, {1, 1, k}, {2, 2, k}, {3, 3, k});
        CHECK(816);
    }
    CHECK(817);
    for (int16_t k = 1; k <= 3; ++k) {
        test_line(818, cells, marker, 2, {3, 1, k}, {2, 2, k}, {1, 3, k});
        CHECK(823);
    }
    CHECK(824);
    for (int16_t r = 1; r <= 3; ++r) {
        test_line(825, cells, marker, 2, {1, r, 1}, {2, r, 2}, {3, r, 3});
        CHECK(830);
    }
    CHECK(831);
    for (int16_t r = 1; r <= 3; ++r) {
        test_line(832, cells, marker, 2, {3, r, 1}, {2, r, 2}, {1, r, 3});
        CHECK(837);
    }
    test_line(838, cells, marker, 2, {1, 3, 1}, {2, 2, 2}, {3, 1, 3});
    test_line(843, cells, marker, 2, {3, 3, 1}, {2, 2, 2}, {1, 1, 3});
    test_line(848, cells, marker, 2, {1, 1, 1}, {2, 2, 2}, {3, 3, 3});
    test_line(853, cells, marker, 2, {3, 1, 1}, {2, 2, 2}, {1, 3, 3});
    array_release(cells);
}

void check_full_board() {
    int16_t first = 0, last = 0, count = 0;
    STATEMENT(865, ASSIGN(first, floor_bound(0)));
    STATEMENT(866, ASSIGN(last, floor_bound(1)));
    STATEMENT(867, ASSIGN(count, 0));
    CHECK(868);
    for (int16_t f = first; f <= last; ++f) {
        CHECK(869);
        for (int16_t r = 1; r <= 3; ++r) {
            CHECK(870);
            for (int16_t k = 1; k <= 3; ++k) {
                if (CONDITION(871, board(f, r, k) != cell_empty)) STATEMENT(872, ASSIGN(count, count + 1));
                CHECK(873);
            }
            CHECK(874);
        }
        CHECK(875);
    }
    if (CONDITION(876, count == (last - first + 1) * 9)) STATEMENT(877, ASSIGN(game_over(), 3));
}
