// A fixture for the game's procedures without the runtime's threads: start-up
// as the process runs it without the window, a keyboard with no lock on, the
// game state and (for drawing) the 40 x 25 text screen of page 0.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include "game/program.h"
#include "game/state.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/core/timekeeping.h"
#include "runtime/core/timekeeping_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "support/runtime_started.h"

class GameState : public RuntimeStarted {
protected:
    void SetUp() override {
        RuntimeStarted::SetUp();
        timekeeping_reset();
        keyboard_startup_with(KeyboardSystemState{});
        game_state_create();
        // Timed pauses end at once while the shutdown flag is up; without an
        // event pending the program never reaches the statement check.
        stop_threads = 1;
    }

    // The game's screen: text mode, 40 x 25, white on blue.
    static void game_screen() {
        set_screen_mode(0, 0, 0, 0, 0, 1);
        set_text_size(0, 40, 25, 3);
        set_colours(15, 1, 0, 3);
        clear_screen(0, 0, 0);
    }

    // Every cell of every floor, given floor by floor, row by row: "X", "O",
    // "#" (obstacle), "." (empty). Spaces are ignored.
    static void set_board(const std::string& cells) {
        int i = 0;
        for (char c : cells) {
            if (c == ' ') continue;
            int16_t code = c == 'X' ? cell_x : c == 'O' ? cell_o : c == '#' ? cell_obstacle : cell_empty;
            board(i / 9 + 1, i / 3 % 3 + 1, i % 3 + 1) = code;
            ++i;
        }
    }
    static std::string board_text() {
        std::string s;
        for (int f = 1; f <= 3; ++f)
            for (int r = 1; r <= 3; ++r)
                for (int k = 1; k <= 3; ++k) s += ".XO#*"[board(f, r, k)];
        return s;
    }
    // Key codes of the keyboard: a character, or an extended key's scan code
    // times 256.
    static constexpr int32_t key_up_arrow = 0x4800, key_down_arrow = 0x5000, key_left = 0x4B00, key_right = 0x4D00,
                             key_home = 0x4700, key_page_up = 0x4900;
    static void type(std::initializer_list<int32_t> codes) {
        for (int32_t code : codes) {
            key_down(code);
            key_up(code);
        }
    }
    static bool keys_waiting() { return low_read16(low_key_buffer_head) != low_read16(low_key_buffer_tail); }

    // The text page as the driver reads it.
    static uint8_t char_at(int row, int column) {
        return low_memory()[low_text_pages + ((row - 1) * 40 + column - 1) * 2];
    }
    static uint8_t fg_at(int row, int column) {
        return low_memory()[low_text_pages + ((row - 1) * 40 + column - 1) * 2 + 1] & 15;
    }
    static std::string text(int row, int column, int length) {
        std::string s;
        for (int c = column; c < column + length; ++c) s += static_cast<char>(char_at(row, c));
        return s;
    }

    // Takes the pending error and clears it, as a "Yes" to the error box would.
    static int32_t take_error() {
        int32_t n = error_code.exchange(0);
        event_pending = 0;
        return n;
    }
};
