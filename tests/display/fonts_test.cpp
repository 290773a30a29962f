// Built-in fonts and palettes: FontTable, glyph tables, code page table,
// palettes, blink table, mouse pointer and window icon.
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/icon.h"
#include "runtime/display/pointer.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/code_page.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"

namespace {

constexpr uint32_t builtin_handles[] = {8, 9, 14, 15, 16, 17};

// The glyph as drawn in its cell, "X" ink and "." background, one line a row.
std::string glyph_art(uint32_t font, uint8_t c) {
    const FontSlot& slot = font_slot(font);
    std::string art;
    for (uint32_t y = 0; y < slot.cell_height; ++y) {
        for (uint32_t x = 0; x < slot.cell_width; ++x) art += builtin_glyph_pixel(font, c, x, y) ? 'X' : '.';
        art += '\n';
    }
    return art;
}

// Separate runs of ink along a row or a column of the drawn cell.
int ink_runs(uint32_t font, uint8_t c, bool along_row, uint32_t line) {
    const FontSlot& slot = font_slot(font);
    uint32_t length = along_row ? slot.cell_width : slot.cell_height;
    int runs = 0;
    bool in_ink = false;
    for (uint32_t i = 0; i < length; ++i) {
        bool ink = along_row ? builtin_glyph_pixel(font, c, i, line) : builtin_glyph_pixel(font, c, line, i);
        if (ink && !in_ink) ++runs;
        in_ink = ink;
    }
    return runs;
}
int row_runs(uint32_t font, uint8_t c, uint32_t y) { return ink_runs(font, c, true, y); }
int column_runs(uint32_t font, uint8_t c, uint32_t x) { return ink_runs(font, c, false, x); }

class FontsTest : public ::testing::Test {
protected:
    void SetUp() override { fonts_startup(); }
};

// --- FontTable ----------------------------------------------------------------

TEST_F(FontsTest, BuiltinHandlesHaveTheirCells) {
    struct Expected {
        uint32_t handle, width, height;
    };
    const Expected cells[] = {{8, 8, 8}, {9, 16, 8}, {14, 8, 14}, {15, 16, 14}, {16, 8, 16}, {17, 16, 16}};
    for (const Expected& e : cells) {
        const FontSlot& slot = font_slot(e.handle);
        EXPECT_EQ(slot.cell_width, e.width) << e.handle;
        EXPECT_EQ(slot.cell_height, e.height) << e.handle;
        EXPECT_EQ(slot.flags, uint32_t{font_monospace}) << e.handle;
        EXPECT_EQ(slot.outline, nullptr) << e.handle;
    }
    for (uint32_t handle : {0u, 7u, 10u, 13u, 18u, 31u, first_loaded_font, font_slot_count - 1})
        EXPECT_EQ(font_slot(handle).cell_height, 0u) << handle;
}

TEST_F(FontsTest, InitClearsLoadedFontsAndRestoresBuiltins) {
    font_slot_edit(40)->cell_height = 20;
    font_slot_edit(40)->flags = font_unicode;
    font_slot_edit(16)->cell_height = 3;
    fonts_startup();
    EXPECT_EQ(font_slot(40).cell_height, 0u);
    EXPECT_EQ(font_slot(40).flags, 0u);
    EXPECT_EQ(font_slot(16).cell_height, 16u);
}

TEST_F(FontsTest, HandleBeyondTableGivesAnEmptySlotNobodyCanWrite) {
    for (uint32_t handle : {font_slot_count, 0xFFFFFFFFu}) {
        const FontSlot& none = font_slot(handle);
        EXPECT_EQ(none.cell_width, 0u);
        EXPECT_EQ(none.cell_height, 0u);
        EXPECT_EQ(none.flags, 0u);
        EXPECT_EQ(font_slot_edit(handle), nullptr);
    }
    EXPECT_EQ(font_slot_edit(8), &font_slot(8));
}

// --- Glyphs -------------------------------------------------------------------

TEST_F(FontsTest, CharacterOneIsASmilingFace) {
    const char* face8 =
        ".XXXXXX.\n"
        "X......X\n"
        "X.X..X.X\n"
        "X......X\n"
        "X.XXXX.X\n"
        "X..XX..X\n"
        "X......X\n"
        ".XXXXXX.\n";
    EXPECT_EQ(glyph_art(8, 1), face8);
    const char* face16 =
        "........\n"
        "........\n"
        ".XXXXXX.\n"
        "X......X\n"
        "X.X..X.X\n"
        "X......X\n"
        "X......X\n"
        "X.XXXX.X\n"
        "X..XX..X\n"
        "X......X\n"
        "X......X\n"
        ".XXXXXX.\n"
        "........\n"
        "........\n"
        "........\n"
        "........\n";
    EXPECT_EQ(glyph_art(16, 1), face16);
}

TEST_F(FontsTest, FullBlockFillsEveryBuiltinCell) {
    for (uint32_t font : builtin_handles) {
        const FontSlot& slot = font_slot(font);
        const uint8_t* rows = builtin_glyph_rows(font, 219);
        ASSERT_NE(rows, nullptr) << font;
        for (uint32_t i = 0; i < slot.cell_height * 8; ++i) ASSERT_EQ(rows[i], 255) << font << " byte " << i;
        for (uint32_t y = 0; y < slot.cell_height; ++y)
            for (uint32_t x = 0; x < slot.cell_width; ++x)
                ASSERT_EQ(builtin_glyph_pixel(font, 219, x, y), 255) << font << " at " << x << "," << y;
    }
}

TEST_F(FontsTest, SpaceAndNulAreBlankAndPixelsAreZeroOr255) {
    for (uint32_t font : builtin_handles) {
        EXPECT_EQ(glyph_art(font, 0).find('X'), std::string::npos) << font;
        EXPECT_EQ(glyph_art(font, ' ').find('X'), std::string::npos) << font;
    }
    for (uint32_t i = 0; i < 256 * 64; ++i) ASSERT_TRUE(glyphs_8x8()[i] == 0 || glyphs_8x8()[i] == 255) << i;
    for (uint32_t i = 0; i < 256 * 128; ++i) ASSERT_TRUE(glyphs_8x16()[i] == 0 || glyphs_8x16()[i] == 255) << i;
}

TEST_F(FontsTest, GlyphRowsPointIntoTheTables) {
    EXPECT_EQ(builtin_glyph_rows(8, 65), glyphs_8x8() + 65 * 64);
    EXPECT_EQ(builtin_glyph_rows(16, 65), glyphs_8x16() + 65 * 128);
    EXPECT_EQ(builtin_glyph_rows(14, 65), glyphs_8x16() + 65 * 128 + 8);
    EXPECT_EQ(builtin_glyph_rows(255, 255), nullptr);
}

TEST_F(FontsTest, FourteenLineGlyphsAreTheMiddleOfTheSixteenLineOnes) {
    for (int c = 0; c < 256; ++c)
        for (uint32_t y = 0; y < 14; ++y)
            for (uint32_t x = 0; x < 8; ++x)
                ASSERT_EQ(builtin_glyph_pixel(14, uint8_t(c), x, y), glyphs_8x16()[c * 128 + (y + 1) * 8 + x])
                    << c << " at " << x << "," << y;
}

TEST_F(FontsTest, DoubledFontsDrawEachSourcePixelTwice) {
    const uint32_t pairs[][2] = {{9, 8}, {15, 14}, {17, 16}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(builtin_glyph_rows(pair[0], 'A'), builtin_glyph_rows(pair[1], 'A'));
        for (int c = 0; c < 256; ++c)
            for (uint32_t y = 0; y < font_slot(pair[0]).cell_height; ++y)
                for (uint32_t x = 0; x < 16; ++x)
                    ASSERT_EQ(builtin_glyph_pixel(pair[0], uint8_t(c), x, y),
                              builtin_glyph_pixel(pair[1], uint8_t(c), x / 2, y))
                        << pair[0] << " char " << c << " at " << x << "," << y;
    }
}

TEST_F(FontsTest, PixelsOutsideTheCellOrFontAreBackground) {
    EXPECT_EQ(builtin_glyph_pixel(8, 219, 8, 0), 0);
    EXPECT_EQ(builtin_glyph_pixel(8, 219, 0, 8), 0);
    EXPECT_EQ(builtin_glyph_pixel(14, 219, 0, 14), 0);
    EXPECT_EQ(builtin_glyph_pixel(17, 219, 15, 15), 255);
    EXPECT_EQ(builtin_glyph_pixel(17, 219, 16, 0), 0);
    EXPECT_EQ(builtin_glyph_pixel(10, 219, 0, 0), 0);
    EXPECT_EQ(builtin_glyph_pixel(first_loaded_font, 219, 0, 0), 0);
}

// The box-drawing characters with double strokes must show two parallel lines,
// not one; the single-stroke ones one.
TEST_F(FontsTest, DoubleLineBoxGlyphsHaveTwoStrokes) {
    for (uint32_t font : {8u, 14u, 16u}) {
        const FontSlot& slot = font_slot(font);
        uint32_t bottom = slot.cell_height - 1;
        std::string art;
        for (uint8_t c : {201, 205, 186}) art += glyph_art(font, c) + "\n";
        SCOPED_TRACE("font " + std::to_string(font) + ":\n" + art);
        for (uint32_t y = 0; y < slot.cell_height; ++y) {
            EXPECT_EQ(row_runs(font, 186, y), 2) << "║ row " << y;  // ║
            EXPECT_EQ(row_runs(font, 179, y), 1) << "│ row " << y;  // │
        }
        for (uint32_t x = 0; x < 8; ++x) {
            EXPECT_EQ(column_runs(font, 205, x), 2) << "═ column " << x;  // ═
            EXPECT_EQ(column_runs(font, 196, x), 1) << "─ column " << x;  // ─
        }
        // Corners: the strokes leave the cell doubled on their two open sides.
        EXPECT_EQ(row_runs(font, 201, bottom), 2);  // ╔
        EXPECT_EQ(column_runs(font, 201, 7), 2);
        EXPECT_EQ(row_runs(font, 201, 0), 0);
        EXPECT_EQ(row_runs(font, 187, bottom), 2);  // ╗
        EXPECT_EQ(column_runs(font, 187, 0), 2);
        EXPECT_EQ(row_runs(font, 188, 0), 2);  // ╝
        EXPECT_EQ(column_runs(font, 188, 0), 2);
        EXPECT_EQ(row_runs(font, 200, 0), 2);  // ╚
        EXPECT_EQ(column_runs(font, 200, 7), 2);
        for (uint8_t c : {185, 204, 206}) {  // ╣ ╠ ╬
            EXPECT_EQ(row_runs(font, c, 0), 2) << int(c);
            EXPECT_EQ(row_runs(font, c, bottom), 2) << int(c);
        }
        EXPECT_EQ(column_runs(font, 185, 0), 2);
        EXPECT_EQ(column_runs(font, 204, 7), 2);
        EXPECT_EQ(column_runs(font, 206, 0), 2);
        EXPECT_EQ(column_runs(font, 206, 7), 2);
        for (uint8_t c : {202, 203}) {  // ╩ ╦
            EXPECT_EQ(column_runs(font, c, 0), 2) << int(c);
            EXPECT_EQ(column_runs(font, c, 7), 2) << int(c);
        }
    }
    std::printf("%s\n%s\n%s", glyph_art(16, 201).c_str(), glyph_art(16, 205).c_str(), glyph_art(16, 186).c_str());
}

// --- Code page table ------------------------------------------------------------

TEST_F(FontsTest, CodePageMapsSymbolsAsciiAndUpperHalf) {
    EXPECT_EQ(codepage_to_unicode(0), 0x20);
    EXPECT_EQ(codepage_to_unicode(255), 0x20);
    EXPECT_EQ(codepage_to_unicode(1), 0x263A);
    EXPECT_EQ(codepage_to_unicode(2), 0x263B);
    EXPECT_EQ(codepage_to_unicode(3), 0x2665);
    EXPECT_EQ(codepage_to_unicode(13), 0x266A);
    EXPECT_EQ(codepage_to_unicode(31), 0x25BC);
    EXPECT_EQ(codepage_to_unicode(127), 0x2302);
    for (int c = 32; c < 127; ++c) EXPECT_EQ(codepage_to_unicode(uint8_t(c)), c);
    EXPECT_EQ(codepage_to_unicode(128), 0x00C7);  // Ç
    EXPECT_EQ(codepage_to_unicode(156), 0x00A3);  // £
    EXPECT_EQ(codepage_to_unicode(176), 0x2591);  // ░
    EXPECT_EQ(codepage_to_unicode(186), 0x2551);  // ║
    EXPECT_EQ(codepage_to_unicode(201), 0x2554);  // ╔
    EXPECT_EQ(codepage_to_unicode(219), 0x2588);  // █
    EXPECT_EQ(codepage_to_unicode(224), 0x03B1);  // α
    EXPECT_EQ(codepage_to_unicode(254), 0x25A0);  // ■
}

TEST_F(FontsTest, CodePageGivesEachByteItsOwnCodePointExceptTheSpaces) {
    std::set<uint16_t> seen;
    for (int c = 1; c < 255; ++c) {
        uint16_t cp = codepage_to_unicode(uint8_t(c));
        EXPECT_TRUE(seen.insert(cp).second) << "byte " << c << " repeats U+" << std::hex << cp;
        EXPECT_TRUE(c == 32 || cp > 32) << c;
    }
}

// --- Palettes -------------------------------------------------------------------

TEST_F(FontsTest, TextPaletteIsTheSixteenTextColours) {
    const uint32_t expected[16] = {
        0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
        0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
    };
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(text_palette16()[i], 0xFF000000 | expected[i]) << i;
        EXPECT_EQ(vga256_palette()[i], text_palette16()[i]) << i;
    }
}

TEST_F(FontsTest, Vga256PaletteTellingRows) {
    struct Row {
        int index;
        uint32_t colour;
    };
    const Row rows[] = {
        {16, 0x000000},
        {17, 0x141414},
        {18, 0x202020},
        {23, 0x616161},
        {24, 0x717171},
        {28, 0xB6B6B6},
        {31, 0xFFFFFF},
        {32, 0x0000FF},
        {33, 0x4100FF},
        {40, 0xFF0000},
        {247, 0x2D3141},
        // group starts: medium and low saturation, then medium and low intensity
        {56, 0x7D7DFF},
        {80, 0xB6B6FF},
        {104, 0x000071},
        {128, 0x393971},
        {152, 0x515171},
        {176, 0x000041},
        {200, 0x202041},
        {224, 0x2D2D41},
        {44, 0xFFFF00},
        {48, 0x00FF00},
        {52, 0x00FFFF},
        {55, 0x0041FF},
    };
    for (const Row& row : rows) EXPECT_EQ(vga256_palette()[row.index], 0xFF000000 | row.colour) << row.index;
    for (int i = 248; i < 256; ++i) EXPECT_EQ(vga256_palette()[i], 0xFF000000u) << i;
    for (int i = 0; i < 256; ++i) EXPECT_EQ(vga256_palette()[i] >> 24, 0xFFu) << i;
}

TEST_F(FontsTest, Vga256GreyRampRisesEvenlyGrey) {
    for (int i = 16; i < 32; ++i) {
        uint32_t c = vga256_palette()[i] & 0xFFFFFF;
        EXPECT_EQ(c >> 16, c & 0xFF) << i;
        EXPECT_EQ((c >> 8) & 0xFF, c & 0xFF) << i;
        if (i > 16) {
            EXPECT_GT(c, vga256_palette()[i - 1] & 0xFFFFFF) << i;
        }
    }
}

TEST_F(FontsTest, Ega64PaletteFollowsRgbRGBBits) {
    EXPECT_EQ(ega64_palette()[0], 0xFF000000u);
    EXPECT_EQ(ega64_palette()[6], 0xFFAAAA00u);
    EXPECT_EQ(ega64_palette()[20], 0xFFAA5500u);
    EXPECT_EQ(ega64_palette()[63], 0xFFFFFFFFu);
    EXPECT_EQ(ega64_palette()[9], 0xFF0000FFu);
    EXPECT_EQ(text_palette16()[6], 0xFFAA5500u);
    // The sixteen entries mode 9 starts with are the sixteen text colours.
    const int mode9[16] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ega64_palette()[mode9[i]], text_palette16()[i]) << i;
}

TEST_F(FontsTest, MonoBlinkTableCombinesTwoPhases) {
    const uint32_t levels[3] = {0x000000, 0x808080, 0xFFFFFF};
    for (int index = 0; index < 9; ++index) {
        EXPECT_EQ(mono_blink_colour(0, index), levels[index / 3]) << index;
        EXPECT_EQ(mono_blink_colour(1, index), levels[index % 3]) << index;
    }
    EXPECT_EQ(mono_blink_colour(512, 2), 0xFFFFFFu);  // a raw timer bit counts as phase 1
    EXPECT_EQ(mono_blink_colour(0, 9), 0u);
    EXPECT_EQ(mono_blink_colour(1, -1), 0u);
}

// --- Default palette per mode ----------------------------------------------------

constexpr uint32_t untouched = 0x12345678;

struct PaletteImage {
    ImageRec image{};
    uint32_t palette[256];
    explicit PaletteImage(uint16_t mode) {
        image.mode = mode;
        image.palette = palette;
        for (uint32_t& entry : palette) entry = untouched;
    }
};

TEST_F(FontsTest, DefaultPaletteOfEachMode) {
    const uint32_t* text = text_palette16();
    PaletteImage m1(1);
    image_default_palette(m1.image);
    EXPECT_EQ(m1.palette[0], text[0]);
    EXPECT_EQ(m1.palette[1], text[3]);
    EXPECT_EQ(m1.palette[2], text[5]);
    EXPECT_EQ(m1.palette[3], text[7]);
    EXPECT_EQ(m1.palette[4], untouched);

    for (uint16_t mode : {2, 11}) {
        PaletteImage mono(mode);
        image_default_palette(mono.image);
        EXPECT_EQ(mono.palette[0] & 0xFFFFFF, 0x000000u) << mode;
        EXPECT_EQ(mono.palette[1] & 0xFFFFFF, 0xFFFFFFu) << mode;
        EXPECT_EQ(mono.palette[2], untouched) << mode;
    }

    PaletteImage m9(9);
    image_default_palette(m9.image);
    EXPECT_EQ(m9.palette[6], ega64_palette()[20]);
    EXPECT_EQ(m9.palette[8], ega64_palette()[56]);
    EXPECT_EQ(m9.palette[16], untouched);

    PaletteImage m10(10);
    image_default_palette(m10.image);
    EXPECT_EQ(m10.palette[4], 0u);
    EXPECT_EQ(m10.palette[5], 4u);
    EXPECT_EQ(m10.palette[6], 6u);
    EXPECT_EQ(m10.palette[7], 8u);
    EXPECT_EQ(m10.palette[0], untouched);  // filled from the blink table each frame
    EXPECT_EQ(m10.palette[8], untouched);

    for (uint16_t mode : {13, 256}) {
        PaletteImage full(mode);
        image_default_palette(full.image);
        EXPECT_EQ(std::memcmp(full.palette, vga256_palette(), sizeof full.palette), 0) << mode;
    }
    for (uint16_t mode : {0, 7, 8, 12}) {
        PaletteImage sixteen(mode);
        image_default_palette(sixteen.image);
        EXPECT_EQ(std::memcmp(sixteen.palette, text, 16 * sizeof(uint32_t)), 0) << mode;
        EXPECT_EQ(sixteen.palette[16], untouched) << mode;
    }
}

TEST_F(FontsTest, DefaultPaletteLeavesAnImageWithoutPaletteAlone) {
    ImageRec none{};
    none.mode = 32;
    image_default_palette(none);  // no palette to write
    EXPECT_EQ(none.palette, nullptr);
    PaletteImage m32(32);
    image_default_palette(m32.image);
    EXPECT_EQ(m32.palette[0], untouched);
}

// --- Mouse pointer ----------------------------------------------------------------

struct PointerBits {
    uint8_t data[128];
    uint8_t mask[128];
    int hot_x = -1, hot_y = -1;
    bool read(const char* const* xpm) {
        std::memset(data, 0xEE, sizeof data);
        std::memset(mask, 0xEE, sizeof mask);
        return mouse_pointer_bits(xpm, data, mask, &hot_x, &hot_y);
    }
    bool bit(const uint8_t* bits, int x, int y) const { return bits[y * 4 + x / 8] & (0x80 >> (x % 8)); }
    bool black(int x, int y) const { return bit(data, x, y) && bit(mask, x, y); }
    bool white(int x, int y) const { return !bit(data, x, y) && bit(mask, x, y); }
    bool clear(int x, int y) const { return !bit(data, x, y) && !bit(mask, x, y); }
    bool all_zero() const {
        for (int i = 0; i < 128; ++i)
            if (data[i] || mask[i]) return false;
        return true;
    }
};

// The built-in text as a list of lines (without the closing null entry).
std::vector<const char*> pointer_lines() {
    std::vector<const char*> lines;
    for (const char* const* line = mouse_pointer_xpm(); *line; ++line) lines.push_back(*line);
    return lines;
}

bool read_lines(PointerBits& bits, std::vector<const char*> lines) {
    lines.push_back(nullptr);
    return bits.read(lines.data());
}

TEST_F(FontsTest, PointerTextHasItsHeaderColoursRowsAndHotSpot) {
    std::vector<const char*> lines = pointer_lines();
    ASSERT_EQ(lines.size(), 37u);
    EXPECT_STREQ(lines[0], "    32    32        3            1");
    EXPECT_STREQ(lines[1], "X c #000000");
    EXPECT_STREQ(lines[2], ". c #ffffff");
    EXPECT_STREQ(lines[3], "  c None");
    for (int row = 4; row < 36; ++row) EXPECT_EQ(std::strlen(lines[row]), 32u) << row;
    EXPECT_STREQ(lines[36], "0,0");
}

TEST_F(FontsTest, PointerConvertsToAnArrowWithItsHotSpot) {
    PointerBits bits;
    ASSERT_TRUE(bits.read(mouse_pointer_xpm()));
    EXPECT_EQ(bits.hot_x, 0);
    EXPECT_EQ(bits.hot_y, 0);
    EXPECT_TRUE(bits.black(0, 0));
    EXPECT_TRUE(bits.white(1, 2));
    EXPECT_TRUE(bits.black(11, 11));
    EXPECT_TRUE(bits.clear(1, 0));
    EXPECT_TRUE(bits.clear(31, 31));
    int max_x = -1, max_y = -1;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (bits.clear(x, y)) continue;
            max_x = std::max(max_x, x);
            max_y = std::max(max_y, y);
            if (!bits.white(x, y)) continue;
            // The white body is enclosed by the outline on all four sides.
            EXPECT_TRUE(x > 0 && !bits.clear(x - 1, y) && !bits.clear(x + 1, y) && y > 0 && !bits.clear(x, y - 1) &&
                        !bits.clear(x, y + 1))
                << x << "," << y;
        }
    EXPECT_EQ(max_x + 1, 12);
    EXPECT_EQ(max_y + 1, 21);
}

TEST_F(FontsTest, PointerReadsAnotherHotSpot) {
    std::vector<const char*> lines = pointer_lines();
    lines[36] = "5,7";
    PointerBits bits;
    ASSERT_TRUE(read_lines(bits, lines));
    EXPECT_EQ(bits.hot_x, 5);
    EXPECT_EQ(bits.hot_y, 7);
}

TEST_F(FontsTest, PointerRejectsMalformedText) {
    struct Damage {
        int line;
        const char* text;
        const char* why;
    };
    const Damage damages[] = {
        {0, "32 32 3", "header without characters per pixel"},
        {0, "    16    32        3            1", "narrow picture"},
        {0, "    32    32        3            2", "two characters a pixel"},
        {0, "    32    32        0            1", "no colours"},
        {1, "X c #ff0000", "a colour a cursor cannot show"},
        {1, "X #000000", "colour line without its key"},
        {10, "X.X", "short row"},
        {10, "X.X                              ", "long row"},
        {10, "X.Q                             ", "undeclared pixel character"},
        {36, "a,b", "hot spot not numbers"},
        {36, "40,0", "hot spot outside the picture"},
        {36, "0,-1", "hot spot above the picture"},
        {20, nullptr, "text ends inside the picture"},
        {36, nullptr, "no hot-spot line"},
        {0, "", "empty header"},
    };
    for (const Damage& damage : damages) {
        std::vector<const char*> lines = pointer_lines();
        lines[damage.line] = damage.text;
        PointerBits bits;
        EXPECT_FALSE(read_lines(bits, lines)) << damage.why;
        EXPECT_TRUE(bits.all_zero()) << damage.why;
    }
    PointerBits bits;
    EXPECT_FALSE(bits.read(nullptr));
    int x = 0, y = 0;
    EXPECT_FALSE(mouse_pointer_bits(mouse_pointer_xpm(), nullptr, bits.mask, &x, &y));
}

// --- Window icon --------------------------------------------------------------------

TEST_F(FontsTest, IconIsA32By32EightBitBmp) {
    ASSERT_EQ(window_icon_bmp_size(), 2102u);
    EXPECT_EQ(std::memcmp(window_icon_bmp(), "BM", 2), 0);
    SDL_Surface* icon = SDL_LoadBMP_RW(SDL_RWFromConstMem(window_icon_bmp(), int(window_icon_bmp_size())), 1);
    ASSERT_NE(icon, nullptr) << SDL_GetError();
    EXPECT_EQ(icon->w, 32);
    EXPECT_EQ(icon->h, 32);
    EXPECT_EQ(icon->format->BitsPerPixel, 8);
    ASSERT_NE(icon->format->palette, nullptr);
    EXPECT_EQ(icon->format->palette->ncolors, 256);
    // Top-left corner is the blue background, the grid line white.
    const uint8_t* pixels = static_cast<const uint8_t*>(icon->pixels);
    SDL_Color corner = icon->format->palette->colors[pixels[0]];
    EXPECT_EQ(corner.r, 0);
    EXPECT_EQ(corner.g, 0);
    EXPECT_EQ(corner.b, 0xAA);
    SDL_Color line = icon->format->palette->colors[pixels[16 * icon->pitch + 10]];
    EXPECT_EQ(line.r + line.g + line.b, 3 * 255);
    SDL_FreeSurface(icon);
}

}  // namespace
