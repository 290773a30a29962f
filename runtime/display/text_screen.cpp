// The cursor-position, colour, palette, clear-screen and text-view statements.
#include <cmath>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"

namespace {

// The untouched start-up screen grows to 80 x 50 when the cursor goes below
// row 25, keeping what the first 25 rows of 80 columns hold.
constexpr int32_t tall_screen_columns = 80;
constexpr int32_t tall_screen_rows = 50;
constexpr size_t start_screen_bytes = 4000;
constexpr int32_t cursor_line_max = 31;
constexpr uint32_t text_background_mask = 7;

// The colour statement by mode: what the first and second values mean and
// their highest value.
enum class FirstUse : uint8_t { foreground, palette0_text };
enum class SecondUse : uint8_t {
    background,
    text_background,  // stored & 7: text cells hold 8 backgrounds
    palette0_text,  // palette entry 0 from the 16 text colours
    palette0_ega,  // palette entry 0 from the 64 EGA colours
    palette4_blink,  // palette entry 4 = a monochrome blink index
    palette_triplet,  // even: green, red, brown; odd: cyan, magenta, grey
};
struct ColourRule {
    uint16_t mode;
    FirstUse first;
    uint32_t first_max;
    SecondUse second;
    uint32_t second_max;
    bool third_accepted;
};
constexpr uint32_t any_value = 0xFFFFFFFF;
constexpr ColourRule ColourRules[] = {
    {0, FirstUse::foreground, 31, SecondUse::text_background, 15, true},
    {1, FirstUse::palette0_text, 15, SecondUse::palette_triplet, any_value, false},
    {2, FirstUse::foreground, 1, SecondUse::palette0_text, 15, false},
    {7, FirstUse::foreground, 15, SecondUse::palette0_text, 15, false},
    {8, FirstUse::foreground, 15, SecondUse::palette0_text, 15, false},
    {9, FirstUse::foreground, 15, SecondUse::palette0_ega, 63, false},
    {10, FirstUse::foreground, 3, SecondUse::palette4_blink, 8, false},
    {11, FirstUse::foreground, 1, SecondUse::background, 1, false},
    {12, FirstUse::foreground, 15, SecondUse::background, 15, false},
    {13, FirstUse::foreground, 255, SecondUse::background, 255, false},
    {256, FirstUse::foreground, 255, SecondUse::background, 255, false},
    {32, FirstUse::foreground, any_value, SecondUse::background, any_value, false},
};

const ColourRule* colour_rule(uint16_t mode) {
    for (const ColourRule& rule : ColourRules)
        if (rule.mode == mode) return &rule;
    return nullptr;
}

void apply_second_colour(ImageRec& dest, SecondUse use, uint32_t value) {
    switch (use) {
    case SecondUse::background:
        dest.bg_colour = value;
        break;
    case SecondUse::text_background:
        dest.bg_colour = value & text_background_mask;
        break;
    case SecondUse::palette0_text:
        page_store32(&dest.palette[0], text_palette16()[value]);
        break;
    case SecondUse::palette0_ega:
        page_store32(&dest.palette[0], ega64_palette()[value]);
        break;
    case SecondUse::palette4_blink:
        page_store32(&dest.palette[4], value);
        break;
    case SecondUse::palette_triplet: {
        uint32_t base = (value & 1) ? 3 : 2;
        for (uint32_t i = 0; i < 3; ++i) page_store32(&dest.palette[1 + i], text_palette16()[base + 2 * i]);
        break;
    }
    }
}

// A 6-bit DAC channel widened to 8 bits (0 -> 0, 1 -> 4, 32 -> 130, 63 -> 255).
uint32_t dac_channel(uint32_t v) {
    return static_cast<uint32_t>(std::nearbyint(v * 4.0634918212890625 - 0.49999991059303284));
}

// Highest attribute and colour value of set_palette_entry by mode; the
// 6-bit-a-channel modes have colour_max 0 and take the DAC form instead.
struct PaletteRule {
    uint16_t mode;
    uint32_t attribute_max;
    uint32_t colour_max;
};
constexpr PaletteRule PaletteRules[] = {
    {13, 255, 0}, {256, 255, 0}, {12, 15, 0}, {11, 1, 0},  {10, 3, 8},  {9, 15, 63},
    {8, 15, 15},  {7, 15, 15},   {2, 1, 15},  {1, 15, 15}, {0, 15, 63},
};
constexpr uint32_t dac_bits = 0x3F3F3F;

void cursor_shape_to(ImageRec& image, int32_t visible, int32_t start, int32_t stop, uint32_t passed) {
    if (passed & cursor_passed_visible) image.cursor_visible = visible != 0;
    if (passed & cursor_passed_lines) {
        image.cursor_start_line = static_cast<uint8_t>(start);
        image.cursor_stop_line = static_cast<uint8_t>(stop);
    }
}

// The untouched start-up screen becomes 80 x 50, keeping its first 25 rows
// and the colours.
void grow_start_screen() {
    clear_default_screen_untouched();
    std::vector<uint8_t> kept;
    if (const ImageRec* page0 = image_record(page_handle(0));
        page0 && page0->is_text && size_t{page0->width} * page0->height * 2 >= start_screen_bytes)
        kept.assign(page0->pixels, page0->pixels + start_screen_bytes);
    const ImageRec* dest = dest_image();
    uint32_t fg = dest->fg_colour, bg = dest->bg_colour;
    set_text_size(0, tall_screen_columns, tall_screen_rows, 3);
    if (runtime_error_pending()) return;
    ImageRec* page0 = image_record(page_handle(0));
    if (page0 && page0->is_text && !kept.empty()) page_write(page0->pixels, kept.data(), kept.size());
    if (ImageRec* now = dest_image()) {
        now->fg_colour = fg;
        now->bg_colour = bg;
    }
}

}  // namespace

void set_cursor_position(int32_t row, int32_t column, int32_t visible, int32_t start_line, int32_t stop_line,
                         uint32_t passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    TextGeometry g = text_geometry(*dest);
    bool grow = false;
    bool bad = false;
    if (passed & cursor_passed_row) {
        bad |= row < dest->view_top_row;
        if (row != g.rows && row > dest->view_bottom_row) {
            grow = default_screen_untouched();
            // The start-up screen counts as touched from here, even when the
            // row then turns out to be too far down.
            if (grow) clear_default_screen_untouched();
            bad |= !grow || row > tall_screen_rows;
        }
    }
    if (passed & cursor_passed_column) bad |= column < 1 || column > g.columns;
    if (passed & cursor_passed_visible) bad |= visible != 0 && visible != 1;
    if (passed & cursor_passed_lines)
        bad |= start_line < 0 || start_line > cursor_line_max || stop_line < 0 || stop_line > cursor_line_max;
    if (bad) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (grow) {
        grow_start_screen();
        dest = dest_image();
        if (runtime_error_pending() || !dest) return;
    }
    if (passed & cursor_passed_row) {
        dest->cursor_row = static_cast<int16_t>(row);
        dest->holding_cursor = 0;
    }
    if (passed & cursor_passed_column) {
        dest->cursor_col = static_cast<int16_t>(column);
        dest->holding_cursor = 0;
    }
    if (!(dest->flags & image_is_screen_page)) {
        cursor_shape_to(*dest, visible, start_line, stop_line, passed);
        return;
    }
    for (int32_t n = 0; n < page_count(); ++n)
        if (ImageRec* page = image_record(page_handle(n)))
            cursor_shape_to(*page, visible, start_line, stop_line, passed);
}

void set_colours(uint32_t first, uint32_t second, uint32_t third, uint32_t passed) {
    (void)third;
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    const ColourRule* rule = colour_rule(dest->mode);
    bool first_passed = passed & 1, second_passed = passed & 2, third_passed = passed & 4;
    bool needs_palette = rule &&
        (rule->first != FirstUse::foreground ||
         (rule->second != SecondUse::background && rule->second != SecondUse::text_background));
    if (!rule || (first_passed && first > rule->first_max) || (second_passed && second > rule->second_max) ||
        (third_passed && !rule->third_accepted) || (needs_palette && !dest->palette)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (first_passed) {
        if (rule->first == FirstUse::foreground)
            dest->fg_colour = first;
        else
            page_store32(&dest->palette[0], text_palette16()[first]);
    }
    if (second_passed) apply_second_colour(*dest, rule->second, second);
}

void set_palette_entry(int32_t attribute, uint32_t colour, bool passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    if (dest->mode == 32 || !dest->palette) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (!passed) {
        image_default_palette(*dest);
        return;
    }
    uint32_t entry = static_cast<uint32_t>(attribute) & 0xFF;
    const PaletteRule* rule = nullptr;
    for (const PaletteRule& r : PaletteRules)
        if (r.mode == dest->mode) rule = &r;
    bool dac = rule && rule->colour_max == 0;
    if (!rule || entry > rule->attribute_max || (dac ? (colour & ~dac_bits) != 0 : colour > rule->colour_max)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    uint32_t* palette = dest->palette;
    switch (dest->mode) {
    case 13:
    case 256:
    case 12:
    case 11:
        page_store32(&palette[entry],
                     dac_channel(colour & 0x3F) << 16 | dac_channel((colour >> 8) & 0x3F) << 8 |
                         dac_channel((colour >> 16) & 0x3F));
        break;
    case 10:
        page_store32(&palette[entry + 4], colour);
        break;
    case 9:
    case 0:
        page_store32(&palette[entry], ega64_palette()[colour]);
        break;
    default:
        page_store32(&palette[entry], text_palette16()[colour]);
        break;
    }
}

void clear_screen(int32_t method, uint32_t colour, uint32_t passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    bool method_passed = passed & 1, colour_passed = passed & 2;
    if ((colour_passed && dest->mode != 32 && colour > dest->colour_mask) ||
        (method_passed && (method < 0 || method > 2))) {
        runtime_error(error_illegal_function_call);
        return;
    }
    uint32_t fill = colour_passed ? colour : dest->bg_colour;
    uint8_t attribute = text_attribute(dest->fg_colour, fill & text_background_mask);
    TextGeometry g = text_geometry(*dest);
    int32_t top = dest->view_top_row, bottom = dest->view_bottom_row;
    dest->cursor_row = static_cast<int16_t>(top);
    dest->cursor_col = 1;
    dest->holding_cursor = 0;
    dest->gfx.draw_angle = 0.0;
    dest->gfx.draw_scale = 1.0;
    if (method_passed && method == 2) {
        text_blank_rows(*dest, top, bottom, attribute, fill);
        return;
    }
    if (dest->is_text) {
        if (!method_passed) {
            text_blank_rows(*dest, top, bottom, attribute, fill);
            text_blank_rows(*dest, g.rows, g.rows, attribute, fill);
        } else if (method == 0) {
            text_blank_rows(*dest, 1, g.rows, attribute, fill);
        }
    } else {
        if ((!method_passed || method == 1) && dest->gfx.coord_mode != 0)
            text_fill_world(*dest, fill);
        else
            text_fill_pixels(*dest, 0, 0, dest->width - 1, dest->height - 1, fill, true);
        ImageRec::GraphicsState& s = dest->gfx;
        float cx = static_cast<float>((s.view_x2 - s.view_x1 + 1) / 2);
        float cy = static_cast<float>((s.view_y2 - s.view_y1 + 1) / 2);
        if (s.coord_mode == 2 && s.scale_x != 0.0f && s.scale_y != 0.0f) {
            cx = (cx - s.offset_x) / s.scale_x;
            cy = (cy - s.offset_y) / s.scale_y;
        }
        s.gfx_x = cx;
        s.gfx_y = cy;
    }
    key_line_redraw(true);
}

void set_text_view(int32_t top, int32_t bottom, bool passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    int32_t rows = text_geometry(*dest).rows;
    if (passed && (top < 1 || top > rows || bottom < top || bottom > rows)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    dest->view_top_row = static_cast<int16_t>(passed ? top : 1);
    dest->view_bottom_row = static_cast<int16_t>(passed ? bottom : rows);
    dest->cursor_row = dest->view_top_row;
    dest->cursor_col = 1;
    dest->holding_cursor = 0;
}
