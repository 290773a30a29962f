// Printing at the text cursor: control characters, wrapping with the held
// cursor, the new line and the scrolling of the print view, the fit check, the
// print zones and the printer-page column.
#include <chrono>
#include <thread>
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/sound/tones.h"
#include "runtime/sound/tones_internal.h"
#include "runtime/core/flags_internal.h"

namespace {

constexpr uint8_t char_bell = 7;
constexpr uint8_t char_tab = 9;
constexpr uint8_t char_line_feed = 10;
constexpr uint8_t char_home = 11;
constexpr uint8_t char_form_feed = 12;
constexpr uint8_t char_return = 13;
constexpr uint8_t char_cursor_right = 28;
constexpr uint8_t char_cursor_left = 29;
constexpr uint8_t char_cursor_up = 30;
constexpr uint8_t char_cursor_down = 31;

constexpr double bell_freq_hz = 783.99;
constexpr double bell_duration_s = 0.2;
constexpr auto bell_pause = std::chrono::milliseconds(250);
constexpr auto bell_poll = std::chrono::milliseconds(5);

constexpr int32_t tab_columns = 8;
constexpr int32_t tab_pixels = 64;
constexpr int32_t zone_columns = 14;
constexpr int32_t zone_pixels = 112;
constexpr int32_t default_printer_width = 80;

struct PrintState {
    bool printer_mode;
    int32_t printer_width;
    int32_t printer_column;
    PrinterPageHook printer_hook;
};
PrintState Printing{false, default_printer_width, 1, nullptr};

// The bell queues its tone and then waits, so that bells in a row are heard
// one by one; a shutdown ends the wait.
void ring_bell() {
    tone_play(bell_freq_hz, bell_duration_s, false);
    auto deadline = std::chrono::steady_clock::now() + bell_pause;
    while (std::chrono::steady_clock::now() < deadline && !stop_threads.load(std::memory_order_relaxed))
        std::this_thread::sleep_for(bell_poll);
}

// Variable-width fonts stop at pixel multiples of `stop_px`: the gap up to the
// stop is filled with the background, or the rest of the row and a new line
// when the stop lies at or past the right edge.
void advance_to_pixel_stop(ImageRec& dest, int32_t stop_px) {
    TextGeometry g = text_geometry(dest);
    int32_t x = dest.cursor_col - 1;
    int32_t next = (x / stop_px + 1) * stop_px;
    int32_t y1 = (dest.cursor_row - 1) * g.cell_height;
    int32_t y2 = y1 + g.cell_height - 1;
    if (dest.width > next) {
        text_fill_pixels(dest, x, y1, next - 1, y2, dest.bg_colour, false);
        // cursor_col is one more than the pixel column.
        dest.cursor_col = static_cast<int16_t>(next + 1);
        return;
    }
    text_fill_pixels(dest, x, y1, dest.width - 1, y2, dest.bg_colour, false);
    text_newline();
}

void printer_column_move(int32_t delta) {
    if (!Printing.printer_mode) return;
    int32_t c = Printing.printer_column + delta;
    Printing.printer_column = c < 1 ? 1 : (c > Printing.printer_width ? Printing.printer_width : c);
}

// Returns true when c was a control character and has been carried out.
bool print_control(ImageRec& dest, uint32_t c) {
    TextGeometry g = text_geometry(dest);
    int32_t row = dest.cursor_row, col = dest.cursor_col;
    int32_t top = dest.view_top_row, bottom = dest.view_bottom_row;
    switch (c) {
    case char_cursor_right:
        printer_column_move(1);
        if (row >= bottom && col >= g.columns) return true;
        if (++col > g.columns) {
            col = 1;
            ++row;
        }
        break;
    case char_cursor_left:
        printer_column_move(-1);
        if (!((row != top && row <= bottom) || col > 1)) return true;
        if (--col < 1) {
            if (row <= 1) return true;
            col = g.columns;
            --row;
        }
        break;
    case char_cursor_up:
        if (top < row && row <= bottom) --row;
        break;
    case char_cursor_down:
        if (top <= row && row < bottom) ++row;
        break;
    case char_form_feed:
        Printing.printer_column = 1;
        clear_screen(0, 0, 0);
        return true;
    case char_home:
        Printing.printer_column = 1;
        col = 1;
        row = top;
        break;
    case char_line_feed:
    case char_return:
        Printing.printer_column = 1;
        text_newline();
        return true;
    case char_bell:
        ring_bell();
        return true;
    default:
        return false;
    }
    dest.cursor_row = static_cast<int16_t>(row);
    dest.cursor_col = static_cast<int16_t>(col);
    return true;
}

// One printable character at the cursor, then the advance and the wrap.
// Returns true when it wrapped with a new line.
bool print_one(ImageRec& dest, uint32_t c, bool last, bool newline) {
    TextGeometry g = text_geometry(dest);
    int32_t advance = 1;
    if (g.variable_width) {
        advance = char_pixel_width(c);
        if (dest.cursor_col + advance > dest.width) text_newline();
    }
    put_glyph_at_cursor(c);
    if (Printing.printer_mode && ++Printing.printer_column > Printing.printer_width) {
        text_newline();
        Printing.printer_column = 1;
        return false;
    }
    dest.cursor_col = static_cast<int16_t>(dest.cursor_col + advance);
    bool past_edge = dest.is_text ? dest.cursor_col > dest.width
                                  : (dest.cursor_col - 1) * g.cell_width > dest.width - g.cell_width;
    if (!past_edge) return false;
    if (!newline && last) {
        dest.cursor_col = static_cast<int16_t>(dest.is_text ? dest.cursor_col - 1 : dest.width / g.cell_width);
        dest.holding_cursor = 1;
        return false;
    }
    text_newline();
    return true;
}

bool print_tab(ImageRec& dest, bool last, bool newline) {
    if (text_geometry(dest).variable_width) {
        advance_to_pixel_stop(dest, tab_pixels);
        return false;
    }
    bool wrapped = false;
    int32_t before;
    do {
        before = dest.cursor_col;
        bool final_space = before % tab_columns == 0;
        wrapped = print_one(dest, ' ', last && final_space, newline);
    } while (before % tab_columns != 0);
    return wrapped;
}

void print_bytes(ImageRec& dest, std::string_view bytes, bool newline) {
    if (dest.holding_cursor) {
        if (!bytes.empty())
            text_newline();
        else if (newline)
            dest.holding_cursor = 0;
    }
    // A font of 32-bit characters takes four bytes a character; a shorter
    // group at the end is not a character.
    bool wide = !dest.is_text && (font_slot(dest.font).flags & font_unicode);
    size_t step = wide ? 4 : 1;
    bool broke_at_end = false;
    for (size_t i = 0; i + step <= bytes.size(); i += step) {
        uint32_t c = static_cast<uint8_t>(bytes[i]);
        if (wide)
            for (size_t k = 1; k < 4; ++k) c |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + k])) << (8 * k);
        bool last = i + 2 * step > bytes.size();
        broke_at_end = false;
        if (c == char_tab) {
            broke_at_end = print_tab(dest, last, newline) && last;
            continue;
        }
        if (print_control(dest, c)) continue;
        broke_at_end = print_one(dest, c, last, newline) && last;
    }
    if (!newline) return;
    if (!broke_at_end) text_newline();
    Printing.printer_column = 1;
}

}  // namespace

void print_text(std::string_view text, bool newline) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    print_bytes(*dest, text, newline);
}

void print_string(StrDesc* text, int32_t newline) {
    print_text(str_view(text), newline != 0);
    str_consume(text);
}

void text_newline() {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    dest->holding_cursor = 0;
    dest->cursor_col = 1;
    int32_t row = dest->cursor_row + 1;
    int32_t top = dest->view_top_row, bottom = dest->view_bottom_row;
    if (row <= bottom) {
        dest->cursor_row = static_cast<int16_t>(row);
        return;
    }
    if (Printing.printer_mode && Printing.printer_hook) {
        // The full printer page goes out and the page starts again empty.
        Printing.printer_hook();
        dest->cursor_row = static_cast<int16_t>(top);
        return;
    }
    text_scroll_up(*dest, top, bottom);
    text_blank_rows(*dest, bottom, bottom, text_attribute(dest->fg_colour, dest->bg_colour), dest->bg_colour);
    dest->cursor_row = static_cast<int16_t>(bottom);
}

void print_fit_check(const StrDesc* text) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest || dest->holding_cursor || dest->cursor_col == 1) return;
    std::string_view bytes = str_view(text);
    int64_t length = static_cast<int64_t>(bytes.size());
    if (dest->is_text) {
        if (dest->cursor_col + length - 1 > dest->width) text_newline();
        return;
    }
    TextGeometry g = text_geometry(*dest);
    int64_t width_px = 0;
    if (g.variable_width) {
        for (char c : bytes) width_px += char_pixel_width(static_cast<uint8_t>(c));
    } else {
        bool wide = font_slot(dest->font).flags & font_unicode;
        width_px = (wide ? length / 4 : length) * g.cell_width;
    }
    if (int64_t{dest->cursor_col - 1} * g.cell_width + width_px > dest->width) text_newline();
}

void print_next_zone() {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    if (dest->holding_cursor) text_newline();
    TextGeometry g = text_geometry(*dest);
    if (g.variable_width) {
        advance_to_pixel_stop(*dest, zone_pixels);
        return;
    }
    // Zones start every 14 columns where a whole zone still fits; past the
    // last of them the next stop is the last column (on 40 columns: 15, then 40).
    auto at_zone = [&] {
        int32_t col = dest->cursor_col;
        return col == 1 || ((col - 1) % zone_columns == 0 && col <= g.columns - (zone_columns - 1)) || col >= g.columns;
    };
    do print_bytes(*dest, " ", false);
    while (!at_zone() && !runtime_error_pending());
}

void text_printer_mode_set(bool on, int32_t printer_width) {
    Printing.printer_mode = on;
    Printing.printer_width = printer_width > 0 ? printer_width : default_printer_width;
    Printing.printer_column = 1;
}

bool text_printer_mode() { return Printing.printer_mode; }

int32_t text_printer_column() { return Printing.printer_column; }

void text_printer_column_set(int32_t column) {
    Printing.printer_column = column < 1 ? 1 : (column > Printing.printer_width ? Printing.printer_width : column);
}

void text_printer_page_hook_set(PrinterPageHook hook) { Printing.printer_hook = hook; }

void text_startup() {
    Printing = PrintState{false, default_printer_width, 1, nullptr};
    key_line_reset();
}

// Nothing to undo: the text state holds no resources.
void text_shutdown() {}
