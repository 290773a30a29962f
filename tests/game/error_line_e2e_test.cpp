// A runtime error inside a game statement is reported, in the running runtime,
// with the source line number of the statement that raised it.
#include <gmock/gmock.h>
#include "game/statement.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/message_box.h"
#include "tests/game/support/game_driver.h"

namespace {

using namespace game_driver;
using ::testing::AllOf;
using ::testing::HasSubstr;

// Floor 5 does not exist: the statement of draw_floor that reads the board
// raises error 9; the answer "No" then ends the program.
int bad_floor_program(void*) {
    game_state_create();
    STATEMENT(1, set_screen_mode(0, 0, 0, 0, 0, 1));
    STATEMENT(2, draw_floor(5));
    std::fprintf(stderr, "program continued\n");
    end_program();
}

void answer_no() {
    wait_until(message_box_shown, "the error box");
    end_and_expect_exit([] { press(SDLK_n, 'n'); }, "the answer No");
}

TEST(ErrorLineEndToEnd, ErrorNineIsReportedWithTheLineOfTheBoardRead) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_game(answer_no, bad_floor_program), ::testing::ExitedWithCode(0),
                AllOf(HasSubstr("Unhandled Error #9\nLine:934\nSubscript out of range"), HasSubstr(driver_done)));
}

}  // namespace
