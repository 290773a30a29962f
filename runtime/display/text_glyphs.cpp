// Characters on pages: text cells, built-in glyphs on pixel pages, and the row
// blanking, scrolling and pixel fills that printing and clearing share.
#include <algorithm>
#include <cmath>
#include "runtime/core/errors.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"

namespace {

constexpr uint32_t blank_character = 32;
constexpr uint32_t alpha_shift = 24;
constexpr uint32_t opaque_alpha = 0xFF;

// A 32-bit colour that replaces what it covers instead of blending with it.
bool stored_unblended(const ImageRec& image, uint32_t colour, bool opaque) {
    return opaque || image.blend_disabled || (colour >> alpha_shift) == opaque_alpha;
}

// One pixel of text or a fill: through the graphics pixel routine, so its
// blending holds here too, unless `opaque` asks for a plain store.
void text_set_pixel(ImageRec& image, int32_t x, int32_t y, uint32_t colour, bool opaque) {
    if (opaque && image.bytes_per_pixel == 4) {
        page_store32(image.pixels + (static_cast<size_t>(y) * image.width + static_cast<size_t>(x)) * 4, colour);
        return;
    }
    set_pixel_blend(image, x, y, colour);
}

size_t row_bytes(const ImageRec& image, const TextGeometry& g) {
    return static_cast<size_t>(image.width) * image.bytes_per_pixel * static_cast<size_t>(g.cell_height);
}

}  // namespace

TextGeometry text_geometry(const ImageRec& image) {
    if (image.is_text) return {image.width, image.height, 1, 1, false};
    const FontSlot& slot = font_slot(image.font);
    TextGeometry g{};
    g.variable_width = slot.cell_width == 0;
    g.cell_width = g.variable_width ? 1 : static_cast<int32_t>(slot.cell_width);
    // A font slot without a height (a handle that names no font) is taken as
    // one pixel high so that no division ever sees zero.
    g.cell_height = slot.cell_height ? static_cast<int32_t>(slot.cell_height) : 1;
    g.columns = image.width / g.cell_width;
    g.rows = image.height / g.cell_height;
    return g;
}

void text_blank_rows(ImageRec& image, int32_t first, int32_t last, uint8_t attribute, uint32_t colour) {
    TextGeometry g = text_geometry(image);
    first = std::max(first, 1);
    last = std::min(last, g.rows);
    if (!image.pixels || first > last) return;
    if (!image.is_text) {
        text_fill_pixels(image, 0, (first - 1) * g.cell_height, image.width - 1, last * g.cell_height - 1, colour,
                         true);
        return;
    }
    uint8_t* cell = image.pixels + static_cast<size_t>(first - 1) * image.width * 2;
    size_t count = static_cast<size_t>(last - first + 1) * image.width;
    page_fill16(cell, static_cast<uint16_t>(blank_character | attribute << 8), count);
}

void text_scroll_up(ImageRec& image, int32_t top, int32_t bottom) {
    TextGeometry g = text_geometry(image);
    top = std::max(top, 1);
    bottom = std::min(bottom, g.rows);
    if (!image.pixels || top >= bottom) return;
    size_t bytes = row_bytes(image, g);
    uint8_t* first = image.pixels + static_cast<size_t>(top - 1) * bytes;
    page_write(first, first + bytes, static_cast<size_t>(bottom - top) * bytes);
}

void text_fill_pixels(ImageRec& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, bool opaque) {
    if (image.is_text || !image.pixels) return;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, image.width - 1);
    y2 = std::min(y2, image.height - 1);
    if (x1 > x2 || y1 > y2) return;
    const size_t count = static_cast<size_t>(x2 - x1 + 1);
    if (image.bytes_per_pixel == 1) {
        for (int32_t y = y1; y <= y2; ++y)
            page_fill8(image.pixels + static_cast<size_t>(y) * image.width + x1,
                       static_cast<uint8_t>(colour & image.colour_mask), count);
        return;
    }
    if (stored_unblended(image, colour, opaque)) {
        for (int32_t y = y1; y <= y2; ++y)
            page_fill32(image.pixels + (static_cast<size_t>(y) * image.width + x1) * 4, colour, count);
        return;
    }
    for (int32_t y = y1; y <= y2; ++y)
        for (int32_t x = x1; x <= x2; ++x) text_set_pixel(image, x, y, colour, opaque);
}

void text_fill_world(ImageRec& image, uint32_t colour) {
    const ImageRec::GraphicsState& s = image.gfx;
    auto map = [&](float v, float scale, float offset, int32_t view_offset) {
        float world = s.coord_mode == 2 ? v * scale + offset : v;
        return static_cast<int32_t>(std::nearbyint(world)) + view_offset;
    };
    int32_t x1 = map(s.window_x1, s.scale_x, s.offset_x, s.view_offset_x);
    int32_t x2 = map(s.window_x2, s.scale_x, s.offset_x, s.view_offset_x);
    int32_t y1 = map(s.window_y1, s.scale_y, s.offset_y, s.view_offset_y);
    int32_t y2 = map(s.window_y2, s.scale_y, s.offset_y, s.view_offset_y);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (x2 < s.view_x1 || x1 > s.view_x2 || y2 < s.view_y1 || y1 > s.view_y2) return;
    text_fill_pixels(image, std::max(x1, s.view_x1), std::max(y1, s.view_y1), std::min(x2, s.view_x2),
                     std::min(y2, s.view_y2), colour, true);
}

int32_t text_draw_glyph(ImageRec& image, int32_t x, int32_t y, uint32_t c) {
    const FontSlot& slot = font_slot(image.font);
    int32_t advance = static_cast<int32_t>(slot.cell_width);
    if (image.is_text || !image.pixels) return advance;
    if (image.font >= first_loaded_font) return loaded_glyph_draw(image, x, y, c);
    const uint8_t* rows = builtin_glyph_rows(image.font, static_cast<uint8_t>(c));
    if (!rows || slot.cell_width == 0) return advance;
    bool ink_wanted = image.print_mode != 2;
    bool paper_wanted = image.print_mode != 1;
    int32_t width = static_cast<int32_t>(slot.cell_width);
    int32_t height = static_cast<int32_t>(slot.cell_height);
    // Fonts twice as wide as their source glyphs draw each pixel twice.
    int32_t source_step = width > 8 ? 2 : 1;
    for (int32_t gy = 0; gy < height; ++gy) {
        int32_t py = y + gy;
        if (py < 0 || py >= image.height) continue;
        const uint8_t* source = rows + gy * 8;
        for (int32_t gx = 0; gx < width; ++gx) {
            int32_t px = x + gx;
            if (px < 0 || px >= image.width) continue;
            bool ink = source[gx / source_step] != 0;
            if (ink && ink_wanted)
                text_set_pixel(image, px, py, image.fg_colour, false);
            else if (!ink && paper_wanted)
                text_set_pixel(image, px, py, image.bg_colour, false);
        }
    }
    return advance;
}

void put_glyph_at_cursor(uint32_t character) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest || !dest->pixels) return;
    TextGeometry g = text_geometry(*dest);
    int32_t row = dest->cursor_row, col = dest->cursor_col;
    if (row < 1 || row > g.rows || col < 1) return;
    if (dest->is_text) {
        if (col > g.columns) return;
        uint8_t* cell = dest->pixels + (static_cast<size_t>(row - 1) * dest->width + (col - 1)) * 2;
        page_store16(cell,
                     static_cast<uint16_t>((character & 0xFF) | text_attribute(dest->fg_colour, dest->bg_colour) << 8));
        return;
    }
    if (!(font_slot(dest->font).flags & font_unicode)) character &= 0xFF;
    int32_t x = g.variable_width ? col - 1 : (col - 1) * g.cell_width;
    text_draw_glyph(*dest, x, (row - 1) * g.cell_height, character);
}

int32_t put_glyph_at_pixel(int32_t x, int32_t y, uint32_t character, int32_t handle) {
    ImageRec* image = image_record(handle);
    if (!image || image->is_text) return 0;
    return text_draw_glyph(*image, x, y, character & 0xFF);
}

int32_t char_pixel_width(uint32_t character) {
    const ImageRec* dest = dest_image();
    if (!dest) return 0;
    if (dest->font >= first_loaded_font) {
        if (!(font_slot(dest->font).flags & font_unicode)) character &= 0xFF;
        return loaded_glyph_width(dest->font, character);
    }
    return static_cast<int32_t>(font_slot(dest->font).cell_width);
}
