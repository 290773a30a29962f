// The title screen, the menus, the help pages and the ways out of the program,
// played in the real runtime with key events and read back from the text page.
#include <gmock/gmock.h>
#include "tests/game/support/game_screens.h"
#include "runtime/core/threads_internal.h"

namespace {

using namespace game_driver;
using ::testing::HasSubstr;

void expect_driver_passes(void (*driver)()) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_game(driver), ::testing::ExitedWithCode(0), HasSubstr(driver_done));
}

// Only one star on the row, at the column.
bool star_only_at(int row, int column) {
    for (int c = 1; c <= screen_columns; ++c)
        if ((char_at(row, c) == '*') != (c == column)) return false;
    return true;
}

void check_title_screen() {
    // The banner: four letters of double-line box characters in columns 10-14,
    // 16-20, 22-26 and 28-32 of rows 1-5, nothing else on those rows.
    const std::string box_chars = "\xBA\xBB\xBC\xC8\xC9\xCB\xCD ";
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 39; ++c) {
            const bool in_letter = c >= 10 && c <= 32 && (c - 10) % 6 != 5;
            const char ch = static_cast<char>(char_at(r, c));
            if (!in_letter && ch != ' ') fail("banner spills at row " + std::to_string(r));
            if (in_letter && box_chars.find(ch) == std::string::npos) fail("banner character not a box character");
            if (foreground_at(r, c) != 15 || background_at(r, c) != 1) fail("banner not white on blue");
        }
    for (int letter = 0; letter < 4; ++letter)
        if (row_blank(1, 10 + letter * 6, 14 + letter * 6) && row_blank(5, 10 + letter * 6, 14 + letter * 6))
            fail("a banner letter is missing");
    const std::string picture[5] = {
        "               \xBAOO\xBAOO\xBAXX\xBA              ",
        "               \xCC\xCD\xCD\xCE\xCD\xCD\xCE\xCD\xCD\xB9              ",
        "               \xBAOO\xBAXX\xBAOO\xBA              ",
        "               \xCC\xCD\xCD\xCE\xCD\xCD\xCE\xCD\xCD\xB9              ",
        "               \xBAXX\xBAOO\xBAOO\xBA              ",
    };
    if (!row_blank(6, 1, 39)) fail("row 6 is not blank");
    for (int i = 0; i < 5; ++i)
        if (!text_at(7 + i, 1, picture[i])) fail("the board picture differs on row " + std::to_string(7 + i));
    if (!row_blank(14, 1, 40)) fail("a star before any key");
}

void menus_driver() {
    wait_title();
    check_title_screen();
    press(SDLK_RIGHT);
    wait_until([] { return star_only_at(14, 17); }, "the star over Options");
    press(SDLK_RIGHT);
    press(SDLK_RIGHT);
    press(SDLK_RIGHT);  // past the last item: stays on Quit
    wait_until([] { return star_only_at(14, 32); }, "the star over Quit");
    press_times(SDLK_LEFT, 4);
    press(SDLK_LEFT);  // before the first item: stays on Play
    press(SDLK_HOME);
    press(SDLK_PAGEUP);
    wait_keys_read();
    if (!star_only_at(14, 8)) fail("the star is not over Play");

    // Help: three pages with their pauses, ended early by keys.
    choose(3);
    wait_until([] { return text_at(1, 1, " Like other Tic Tac Toe games, the "); }, "help page 1");
    wait_until([] { return char_at(9, 7) == 'X'; }, "the line of X on page 1");
    if (foreground_at(1, 2) != 2 || foreground_at(5, 7) != 4 || !text_at(7, 1, " \xBAO\xBA \xBAX\xBA") ||
        !text_at(9, 1, " \xBA \xBAO\xBAX\xBA"))
        fail("help page 1 differs");
    nudge_until([] { return text_at(1, 1, " Unlike other Tic Tac Toe games, in") && char_at(8, 30) == 'X'; },
                "help page 2");
    for (int column : {5, 18, 30})
        if (char_at(8, column) != 'X' || foreground_at(8, column) != 4 || char_at(8, column - 1) != 0xBA)
            fail("the line through the floors on page 2 is not on the centre cells");
    nudge_until([] { return text_at(1, 1, " Moreover, there are powerups (opt)") && text_at(7, 1, " Sudden Death!"); },
                "help page 3");
    if (foreground_at(3, 2) != 14) fail("the powerup list is not yellow");
    nudge_until([] { return text_at(9, 1, "Have Fun!"); }, "Have Fun!");
    nudge_until(title_shown, "the title after the help");

    choose(2);
    wait_until(options_shown, "the options screen");
    choose(4);
    wait_title();

    // Quit ends the program at once, without any prompt.
    end_and_expect_exit([] { choose(4); }, "Quit");
}

TEST(MenusEndToEnd, PlayOptionsHelpQuitWithTheKeys) { expect_driver_passes(menus_driver); }

// Keys typed while the help pages pause stay in the buffer: the main menu reads
// them afterwards, in order, and opens the options by itself.
void type_ahead_driver() {
    wait_title();
    choose(3);
    wait_until([] { return char_at(9, 7) == 'X'; }, "help page 1");
    press(SDLK_RIGHT);
    press_confirm();
    nudge_until(options_shown, "the options screen opened by the typed-ahead keys");
    choose(4);
    wait_title();
    close_window_and_expect_exit();
}

TEST(MenusEndToEnd, KeysTypedDuringTheHelpAreReadLaterInOrder) { expect_driver_passes(type_ahead_driver); }

void key_barrage_driver() {
    wait_title();
    press_every_key_but_the_confirm_key();
    if (!title_shown()) fail("the title screen did not survive the keys");
    press_times(SDLK_LEFT, 4);
    choose(2);
    wait_until(options_shown, "the options screen after the keys");
    press_every_key_but_the_confirm_key();
    choose(4);
    wait_title();
    close_window_and_expect_exit();
}

TEST(MenusEndToEnd, NoKeyWedgesTheMenus) { expect_driver_passes(key_barrage_driver); }

// --- Ending the program from any screen ------------------------------------------------

[[noreturn]] void break_and_expect_exit() { end_and_expect_exit(press_ctrl_break, "Ctrl+Break"); }

TEST(EndingEndToEnd, CloseOnTheTitleScreen) {
    expect_driver_passes([] {
        wait_title();
        close_window_and_expect_exit();
    });
}

TEST(EndingEndToEnd, CtrlBreakDuringAHelpPause) {
    expect_driver_passes([] {
        wait_title();
        choose(3);
        wait_until([] { return char_at(9, 7) == 'X'; }, "help page 1");
        break_and_expect_exit();
    });
}

TEST(EndingEndToEnd, CtrlBreakOnThePowerupScreen) {
    expect_driver_passes([] {
        wait_title();
        choose(1);
        wait_powerup(1);
        break_and_expect_exit();
    });
}

TEST(EndingEndToEnd, CloseDuringATurn) {
    expect_driver_passes([] {
        wait_title();
        set_options(false, 2, 3);
        choose(1);
        wait_turn(1);
        close_window_and_expect_exit();
    });
}

TEST(EndingEndToEnd, CloseDuringTheComputersPause) {
    expect_driver_passes([] {
        wait_title();
        set_options(false, 1, 1);
        choose(1);
        wait_turn(1);
        press_confirm();
        nudge_until([] { return turn_shown(2); }, "the computer's turn");
        // The computer's move ends in its five-second pause.
        wait_until([] { return shown_floor() != "....X...." && shown_floor().find('O') != std::string::npos; },
                   "the computer's marker");
        close_window_and_expect_exit();
    });
}

}  // namespace
