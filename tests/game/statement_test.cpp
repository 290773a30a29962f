// The statement helpers: temporaries released after each statement, assignments
// skipped while an error is pending, overflow of a 16-bit variable, code page
// 437 literals, and the main program's state made zero and reset by the restart.
#include "game/cp437_text.h"
#include "game/statement.h"
#include "tests/game/support/game_fixture.h"

namespace {

using Statement = GameState;

TEST_F(Statement, TemporariesLiveUntilTheEndOfTheirStatement) {
    const uint32_t before = str_temp_count();
    uint32_t during = 0;
    STATEMENT(100, str_concat(str_lit("a"), str_lit("b")); during = str_temp_count());
    EXPECT_GT(during, before);
    EXPECT_EQ(str_temp_count(), before);
}

TEST_F(Statement, AssignmentsWaitForNoError) {
    int16_t v = 7;
    ASSIGN(v, 9);
    EXPECT_EQ(v, 9);
    error_code = 5;
    ASSIGN(v, 11);
    EXPECT_EQ(v, 9);
    error_code = 0;
    ASSIGN(v, 40000);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(take_error(), 6);
    ASSIGN(v, -32768);
    EXPECT_EQ(v, -32768);
}

TEST_F(Statement, BadIndexIsErrorNineAndTheAssignmentIsSkipped) {
    ASSIGN(board(1, 4, 1), 2);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(board(1, 0, 1), 0);
    ASSIGN(options(-1), 1);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(options(0), 0);
}

TEST_F(Statement, Cp437LiteralsAreConvertedAtCompileTime) {
    StrDesc* s = cp437<"╔═╦╗║╚╩╝╠╬╣█►◄↑↓ X">();
    EXPECT_EQ(str_view(s), "\xC9\xCD\xCB\xBB\xBA\xC8\xCA\xBC\xCC\xCE\xB9\xDB\x10\x11\x18\x19 X");
    str_release_temps(1, 0);
}

TEST_F(Statement, RestartZeroesTheSharedState) {
    board(3, 3, 3) = 2;
    options(1) = 1;
    power(2) = 6;
    menu_columns(4) = 32;
    turn() = 2;
    game_over() = 3;
    cpu_floor() = 1;
    menu_choice() = 1;
    reset_program_state();
    EXPECT_EQ(board(3, 3, 3) + options(1) + power(2) + menu_columns(4), 0);
    EXPECT_EQ(turn() + game_over() + cpu_floor() + menu_choice(), 0);
}

}  // namespace
