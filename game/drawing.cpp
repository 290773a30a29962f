// The board on screen: the player label and the frame, the markers of one
// floor, and the arrows beside the frame that point at the cursor.
#include "game/cp437_text.h"
#include "game/program.h"
#include "game/state.h"
#include "game/statement.h"

namespace {

// Prints one character at a screen position: two statements from `line`.
void print_at(uint32_t line, int32_t row, int32_t column, StrDesc* text) {
    STATEMENT(line, locate(row, column));
    STATEMENT(line + 1, print_line(text));
}

// One character at each of the nine positions around (y, x), row by row.
void fill_cell(uint32_t line, int16_t y, int16_t x, int32_t character) {
    CHECK(line);
    for (int16_t i = -1; i <= 1; ++i) {
        CHECK(line + 1);
        for (int16_t j = -1; j <= 1; ++j) {
            print_at(line + 2, y + i, x + j, str_chr(character));
            CHECK(line + 4);
        }
        CHECK(line + 5);
    }
}

}  // namespace

void draw_board_frame() {
    STATEMENT(900, locate(1, 13));
    if (CONDITION(901, turn() == 1)) {
        STATEMENT(902, colour(4));
        STATEMENT(903, print_line(str_lit("Player 1 (X)")));
    } else {
        STATEMENT(905, colour(3));
        STATEMENT(906, print_line(str_lit("Player 2 (O)")));
    }
    STATEMENT(908, colour(15));
    STATEMENT(909, locate(1, 1));
    CHECK(910);
    for (int16_t i = 1; i <= 6; ++i) {
        STATEMENT(911, print_line(str_lit("")));
        CHECK(912);
    }
    STATEMENT(913, print_line(cp437<"             ╔═══╦═══╦═══╗             ">()));
    STATEMENT(914, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(915, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(916, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(917, print_line(cp437<"             ╠═══╬═══╬═══╣             ">()));
    STATEMENT(918, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(919, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(920, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(921, print_line(cp437<"             ╠═══╬═══╬═══╣             ">()));
    STATEMENT(922, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(923, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(924, print_line(cp437<"             ║   ║   ║   ║             ">()));
    STATEMENT(925, print_line(cp437<"             ╚═══╩═══╩═══╝             ">()));
}

void draw_floor(int16_t floor) {
    int16_t y = 0, x = 0, code = 0;
    CHECK(930);
    for (int16_t r = 1; r <= 3; ++r) {
        CHECK(931);
        for (int16_t k = 1; k <= 3; ++k) {
            STATEMENT(932, ASSIGN(y, (r - 1) * 4 + 9));
            STATEMENT(933, ASSIGN(x, (k + 3) * 4));
            STATEMENT(934, ASSIGN(code, board(floor, r, k)));
            switch (code) {
            case cell_empty:
                fill_cell(935, y, x, ' ');
                break;
            case cell_x:
                STATEMENT(942, colour(4));
                print_at(943, y - 1, x - 1, str_lit("X"));
                print_at(945, y - 1, x + 1, str_lit("X"));
                print_at(947, y + 1, x - 1, str_lit("X"));
                print_at(949, y + 1, x + 1, str_lit("X"));
                print_at(951, y, x, str_lit("X"));
                print_at(953, y - 1, x, str_lit(" "));
                print_at(955, y + 1, x, str_lit(" "));
                print_at(957, y, x - 1, str_lit(" "));
                print_at(959, y, x + 1, str_lit(" "));
                break;
            case cell_o:
                STATEMENT(962, colour(3));
                fill_cell(963, y, x, 'O');
                print_at(969, y, x, str_lit(" "));
                break;
            case cell_obstacle:
                STATEMENT(972, colour(15));
                fill_cell(973, y, x, 219);
                break;
            default:  // a cell in the middle of a swap keeps what it shows
                break;
            }
            CHECK(980);
        }
        CHECK(981);
    }
}

void draw_cursor_arrows(int16_t row, int16_t column) {
    int16_t y = 0, x = 0;
    STATEMENT(1010, colour(14));
    CHECK(1011);
    for (int16_t i = 7; i <= 19; ++i) {
        print_at(1012, i, 13, str_lit(" "));
        print_at(1014, i, 27, str_lit(" "));
        CHECK(1016);
    }
    CHECK(1017);
    for (int16_t i = 14; i <= 26; ++i) {
        print_at(1018, 6, i, str_lit(" "));
        print_at(1020, 20, i, str_lit(" "));
        CHECK(1022);
    }
    CHECK(1023);
    for (int16_t i = 7; i <= 9; ++i) {
        STATEMENT(1024, ASSIGN(y, i + (row - 1) * 3 + row));
        print_at(1025, y, 13, str_chr(16));
        print_at(1027, y, 27, str_chr(17));
        CHECK(1029);
    }
    CHECK(1030);
    for (int16_t i = 14; i <= 16; ++i) {
        STATEMENT(1031, ASSIGN(x, i + (column - 1) * 3 + column));
        print_at(1032, 6, x, str_chr(25));
        print_at(1034, 20, x, str_chr(24));
        CHECK(1036);
    }
}
