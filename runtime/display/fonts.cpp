// FontTable and the built-in bitmap fonts: glyph access, the code page table and
// the default palette of each screen mode.
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"

#include <array>

#include "runtime/display/fonts_data.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr uint32_t glyph_width_px = 8;
constexpr uint32_t bytes_per_glyph_8x8 = 8 * glyph_width_px;
constexpr uint32_t bytes_per_glyph_8x16 = 16 * glyph_width_px;

struct BuiltinFont {
    uint32_t handle;
    uint32_t cell_width;
    uint32_t cell_height;
};

// 9, 15 and 17 are 8, 14 and 16 with every pixel drawn twice, for 40-column text.
constexpr BuiltinFont BuiltinFonts[] = {
    {8, 8, 8}, {9, 16, 8}, {14, 8, 14}, {15, 16, 14}, {16, 8, 16}, {17, 16, 16},
};

constexpr std::array<FontSlot, font_slot_count> builtin_font_table() {
    std::array<FontSlot, font_slot_count> table{};
    for (const BuiltinFont& font : BuiltinFonts)
        table[font.handle] = FontSlot{font.cell_width, font.cell_height, font_monospace, nullptr, nullptr};
    return table;
}

// Holds the built-in rows from the start, so a font looked up before start-up
// still has a cell size.
std::array<FontSlot, font_slot_count> FontTable = builtin_font_table();
constexpr FontSlot NoFont{};

bool is_doubled_font(uint32_t font) { return font == 9 || font == 15 || font == 17; }

}  // namespace

void fonts_startup() { FontTable = builtin_font_table(); }

const FontSlot& font_slot(uint32_t handle) { return handle < font_slot_count ? FontTable[handle] : NoFont; }

FontSlot* font_slot_edit(uint32_t handle) { return handle < font_slot_count ? &FontTable[handle] : nullptr; }

const uint8_t* glyphs_8x8() { return Glyphs8x8Data; }
const uint8_t* glyphs_8x16() { return Glyphs8x16Data; }

const uint8_t* builtin_glyph_rows(uint32_t font, uint8_t c) {
    switch (font) {
    case 8:
    case 9:
        return Glyphs8x8Data + c * bytes_per_glyph_8x8;
    case 14:
    case 15:
        return Glyphs8x16Data + c * bytes_per_glyph_8x16 + glyph_width_px;  // rows 1-14
    case 16:
    case 17:
        return Glyphs8x16Data + c * bytes_per_glyph_8x16;
    default:
        return nullptr;
    }
}

uint8_t builtin_glyph_pixel(uint32_t font, uint8_t c, uint32_t x, uint32_t y) {
    const uint8_t* rows = builtin_glyph_rows(font, c);
    if (!rows) return 0;
    const FontSlot& slot = FontTable[font];
    if (x >= slot.cell_width || y >= slot.cell_height) return 0;
    uint32_t source_x = is_doubled_font(font) ? x / 2 : x;
    return rows[y * glyph_width_px + source_x];
}

void image_default_palette(ImageRec& image) {
    uint32_t* palette = image.palette;
    if (!palette || image.mode == 32) return;
    const uint32_t* text = text_palette16();
    switch (image.mode) {
    case 1: {
        constexpr uint8_t cga_entries[4] = {0, 3, 5, 7};  // black, cyan, magenta, light grey
        for (int i = 0; i < 4; ++i) page_store32(&palette[i], text[cga_entries[i]]);
        break;
    }
    case 2:
    case 11:
        page_store32(&palette[0], text[0]);
        page_store32(&palette[1], text[15]);
        break;
    case 9: {
        constexpr uint8_t ega_entries[16] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};
        for (int i = 0; i < 16; ++i) page_store32(&palette[i], ega64_palette()[ega_entries[i]]);
        break;
    }
    case 10: {
        // Blink-table indices: black, grey, white blinking to black, white.
        constexpr uint32_t blink_entries[4] = {0, 4, 6, 8};
        page_write(palette + 4, blink_entries, sizeof blink_entries);
        break;
    }
    case 13:
    case 256:
        page_write(palette, vga256_palette(), 256 * sizeof(uint32_t));
        break;
    default:
        page_write(palette, text, 16 * sizeof(uint32_t));
        break;
    }
}
