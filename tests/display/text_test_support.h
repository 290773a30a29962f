// Shared fixture of the text-output tests: a fresh runtime with the start-up
// screen (start-up as the process runs it, without the window), and readers of text cells and mode-13 pixels in low memory.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "support/runtime_started.h"

class TextOutput : public RuntimeStarted {
protected:
    // The game's screen: eight 40 x 25 text pages.
    static void use_40x25() { set_text_size(0, 40, 25, 3); }
    static ImageRec& dest() { return *dest_image(); }
    static void at(int32_t row, int32_t col) { set_cursor_position(row, col, 0, 0, 0, 3); }
    static void print(std::string_view text, bool newline = false) { print_text(text, newline); }

    // Characters of a row of the dest text image, as a string.
    static std::string row_text(int32_t row) {
        const ImageRec& d = dest();
        std::string out;
        for (int32_t c = 0; c < d.width; ++c)
            out += static_cast<char>(d.pixels[(static_cast<size_t>(row - 1) * d.width + c) * 2]);
        return out;
    }
    static std::string blank_row() { return std::string(dest().width, ' '); }
    static uint8_t attribute_at(int32_t row, int32_t col) {
        const ImageRec& d = dest();
        return d.pixels[(static_cast<size_t>(row - 1) * d.width + (col - 1)) * 2 + 1];
    }
    static uint8_t pixel13(int32_t x, int32_t y) { return low_memory()[low_graphics_page + y * 320 + x]; }

    // Runs a statement and returns the error it raised, leaving none pending.
    template <class F>
    static int32_t error_of(F statement) {
        error_code = 0;
        statement();
        int32_t e = error_code.load();
        error_code = 0;
        return e;
    }
    // The cursor as (row, column, holding).
    static std::tuple<int, int, int> cursor() { return {dest().cursor_row, dest().cursor_col, dest().holding_cursor}; }
};
