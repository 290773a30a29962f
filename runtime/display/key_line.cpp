// The function-key line: the soft-key texts of F1-F12 as labels on the last
// row of the dest image.
#include <algorithm>
#include <atomic>
#include <string>
#include "runtime/core/errors.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"

namespace {

constexpr int32_t key_label_count = 12;
constexpr int32_t slot_min_columns = 8;
constexpr int32_t slot_half_cells = 8;
constexpr uint32_t label_fg = 0;
constexpr uint32_t label_bg = 7;

struct KeyLineState {
    bool on;  // the switch the program sets
    bool shown;  // the switch as the last redraw drew it
};
KeyLineState KeyLine{false, false};

// Control characters in a label are shown as these symbols, so a label never
// moves the cursor or sounds the bell.
uint8_t label_symbol(uint8_t c) {
    switch (c) {
    case 7:
        return 14;
    case 8:
        return 254;
    case 9:
        return 26;
    case 10:
        return 60;
    case 11:
        return 127;
    case 12:
        return 22;
    case 13:
        return 27;
    case 28:
        return 16;
    case 29:
        return 17;
    case 30:
        return 24;
    case 31:
        return 25;
    default:
        return c;
    }
}

std::atomic<KeyLabelSource> LabelSource{nullptr};

std::string label_text(int32_t key) {
    KeyLabelSource source = LabelSource.load();
    return source ? source(key) : std::string();
}

// Writes text from cursor_col onward without passing `end` (exclusive, in
// cursor columns); pads with spaces up to `end` when asked.
void write_label_part(ImageRec& dest, const std::string& text, int32_t end, bool pad) {
    auto put = [&](uint8_t c) {
        int32_t advance = text_geometry(dest).variable_width ? char_pixel_width(c) : 1;
        if (advance <= 0 || dest.cursor_col + advance > end) return false;
        put_glyph_at_cursor(label_symbol(c));
        dest.cursor_col = static_cast<int16_t>(dest.cursor_col + advance);
        return true;
    };
    for (char c : text)
        if (!put(static_cast<uint8_t>(c))) return;
    while (pad && dest.cursor_col < end)
        if (!put(' ')) return;
}

void draw_labels(ImageRec& dest, int32_t row, uint32_t fg, uint32_t bg) {
    TextGeometry g = text_geometry(dest);
    const FontSlot& font = font_slot(dest.font);
    int32_t slot = g.variable_width ? static_cast<int32_t>(font.cell_height / 2) * slot_half_cells
                                    : std::max(g.columns / key_label_count, slot_min_columns);
    int32_t line_end = g.columns + 1;
    dest.cursor_row = static_cast<int16_t>(row);
    for (int32_t key = 1; key <= key_label_count && slot > 0; ++key) {
        int32_t start = (key - 1) * slot + 1;
        if (start >= line_end) break;
        int32_t end = std::min(start + slot, line_end);
        dest.cursor_col = static_cast<int16_t>(start);
        dest.fg_colour = fg;
        dest.bg_colour = bg;
        write_label_part(dest, std::to_string(key) + (g.variable_width ? ")" : ""), end, false);
        if (dest.is_text) {
            dest.fg_colour = bg != 0 ? label_bg : label_fg;
            dest.bg_colour = bg != 0 ? label_fg : label_bg;
        }
        write_label_part(dest, label_text(key), end, true);
    }
}

}  // namespace

void key_line_label_hook_set(KeyLabelSource source) { LabelSource = source; }

void key_line_on() {
    KeyLine.on = true;
    key_line_redraw(false);
}

void key_line_off() {
    KeyLine.on = false;
    key_line_redraw(false);
}

bool key_line_is_on() { return KeyLine.on; }

void key_line_reset() { KeyLine = KeyLineState{false, false}; }

void key_line_redraw(bool force) {
    if (runtime_error_pending()) return;
    bool changed = KeyLine.on != KeyLine.shown;
    // While the line is off and was off, the last row belongs to the program:
    // a forced redraw (clear screen, mode change) leaves it alone.
    if (!changed && (!force || !KeyLine.on)) return;
    KeyLine.shown = KeyLine.on;
    ImageRec* dest = dest_image();
    if (!dest || !dest->pixels) return;
    ImageRec saved = *dest;
    int32_t row = text_geometry(*dest).rows;
    text_blank_rows(*dest, row, row, text_attribute(dest->fg_colour, dest->bg_colour), dest->bg_colour);
    if (KeyLine.on) draw_labels(*dest, row, saved.fg_colour, saved.bg_colour);
    dest->cursor_row = saved.cursor_row;
    dest->cursor_col = saved.cursor_col;
    dest->holding_cursor = saved.holding_cursor;
    dest->fg_colour = saved.fg_colour;
    dest->bg_colour = saved.bg_colour;
}
