// Loaded fonts: sizes and option words, text pages and freeing, the print
// modes on 8-bit and 32-bit images, code page and Unicode characters, broken
// font files, and a monospace font drawn by the refresh.
#include <SDL.h>
#include <SDL_ttf.h>
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "display/display_fixture.h"
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/images_internal.h"

namespace {

const char* const sans = "DejaVuSans.ttf";
const char* const mono_family = "DejaVu Sans Mono";

class LoadedFonts : public DisplayFixture {
protected:
    void SetUp() override {
        DisplayFixture::SetUp();
        ASSERT_EQ(TTF_Init(), 0);
    }
    void TearDown() override {
        fonts_shutdown();
        TTF_Quit();
        DisplayFixture::TearDown();
    }
    static StrDesc* s(const std::string& t) { return str_from_bytes(t.data(), uint32_t(t.size())); }
    static int32_t load(const std::string& name, double size, const char* options = nullptr) {
        return load_font(s(name), size, options ? s(options) : nullptr, options != nullptr);
    }
    static uint32_t at(const ImageRec& r, int x, int y) {
        size_t i = size_t(y) * r.width + x;
        return r.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(r.pixels)[i] : r.pixels[i];
    }
    // Prints `text` at (0, 0) of a fresh w x h image in `mode` filled with
    // `paper_before`, and returns the image.
    ImageRec& printed(int32_t font, int mode, int print_option, const char* text, uint32_t before) {
        int32_t img = new_image(40, 40, mode, true);
        ImageRec& r = *image_record(-img);
        for (int i = 0; i < 40 * 40; ++i)
            mode == 32 ? void(reinterpret_cast<uint32_t*>(r.pixels)[i] = before) : void(r.pixels[i] = uint8_t(before));
        set_image_font(font, img, true);
        set_print_mode(print_option, img, true);
        r.fg_colour = mode == 32 ? 0xFFFFFFFF : 15;
        r.bg_colour = mode == 32 ? 0xFF000000 : 0;
        print_at_pixel(0, 0, s(text), img, 2);
        return r;
    }
    static int count(const ImageRec& r, uint32_t value) {
        int n = 0;
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) n += at(r, x, y) == value;
        return n;
    }
};

TEST_F(LoadedFonts, SizesOptionsAndNames) {
    int32_t f = load(sans, 16, " bold ,Italic");
    ASSERT_GE(f, 32);
    EXPECT_EQ(font_height(f, true), 16);
    EXPECT_EQ(font_width(f, true), 0);
    EXPECT_EQ(font_slot(uint32_t(f)).flags, uint32_t(font_bold | font_italic));
    for (double size : {9.0, 16.0, 24.0, 31.6}) EXPECT_EQ(font_height(load(sans, size), true), std::lround(size));
    // Halves go to the even neighbour.
    EXPECT_EQ(font_height(load(sans, 16.5), true), 16);
    EXPECT_EQ(font_height(load(sans, 17.5), true), 18);
    EXPECT_GT(font_height(load(sans, 0.012), true), 0);  // 12 points
    int32_t mono = load(mono_family, 20, "monospace");
    ASSERT_GE(mono, 32);
    EXPECT_GT(font_width(mono, true), 5);
    EXPECT_EQ(load(sans, 16, "MONOSPACE"), -1);  // a proportional face
    for (const char* bad : {"BOLD,bold", "WIDE", "BOLD,,ITALIC"}) {
        int32_t result = 1;
        EXPECT_EQ(error_of([&] { result = load(sans, 16, bad); }), 5) << bad;
        EXPECT_EQ(result, 0);
    }
    for (double size : {0.0, -3.0, std::nan("")}) EXPECT_EQ(error_of([&] { load(sans, size); }), 5);
    EXPECT_EQ(error_of([&] { EXPECT_EQ(load(sans, 1000.5), 0); }), 0);
    EXPECT_EQ(font_height(load(sans, 1000.4), true), 1000);
    EXPECT_EQ(font_width(7, true), 0);
    EXPECT_EQ(error_of([] { font_width(9, true); }), 258);

    // Missing and malformed files give -1 without an error.
    std::string dir = testing::TempDir();
    FILE* in = fopen("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "rb");
    ASSERT_TRUE(in);
    std::string bytes(4096, '\0');
    bytes.resize(fread(bytes.data(), 1, bytes.size(), in));
    fclose(in);
    std::string magic = bytes;
    magic[0] = 'X';
    std::string huge = bytes;
    huge.replace(4, 2, "\xFF\xFF");  // 65535 tables declared
    for (const std::string& content : {bytes, magic, huge, std::string("")}) {
        std::string path = dir + "morv_bad_" + std::to_string(getpid()) + ".ttf";
        FILE* out = fopen(path.c_str(), "wb");
        fwrite(content.data(), 1, content.size(), out);
        fclose(out);
        EXPECT_EQ(error_of([&] { EXPECT_EQ(load(path, 16), -1); }), 0);
    }
    EXPECT_EQ(load("no-such-font.ttf", 16), -1);
    EXPECT_EQ(load("/nonexistent/x.ttf", 16), -1);
}

TEST_F(LoadedFonts, TextPagesTakeOnlyMonospaceAndFontsInUseStay) {
    int32_t prop = load(sans, 16), mono = load(mono_family, 16, "MONOSPACE");
    ASSERT_GE(prop, 32);
    ASSERT_GE(mono, 32);
    EXPECT_EQ(error_of([&] { set_image_font(prop, 0, false); }), 5);
    EXPECT_EQ(error_of([&] { set_image_font(12, 0, false); }), 258);
    EXPECT_EQ(error_of([&] { set_image_font(mono, 0, false); }), 0);
    EXPECT_EQ(image_font(0, false), mono);
    EXPECT_EQ(error_of([&] { free_font(mono); }), 5);
    EXPECT_EQ(error_of([&] { free_font(prop); }), 0);
    EXPECT_EQ(error_of([&] { free_font(prop); }), 258);
    EXPECT_EQ(error_of([&] { set_print_mode(2, 0, false); }), 5);
    set_image_font(16, 0, false);
    EXPECT_EQ(error_of([&] { free_font(mono); }), 0);
    EXPECT_EQ(load(sans, 16), prop);  // the lowest free slot again
}

// Keep (1), fill (3) and only-background (2) on 32-bit, anti-aliased and
// one-bit, and on an 8-bit image; the width of the printed text.
TEST_F(LoadedFonts, PrintModesAndWidths) {
    int32_t f = load(sans, 24), one_bit = load(sans, 24, "DONTBLEND");
    const uint32_t blue = 0xFF0000FF;
    for (int32_t font : {f, one_bit}) {
        ImageRec& keep = printed(font, 32, 2, "H", blue);
        ImageRec& fill = printed(font, 32, 1, "H", blue);
        ImageRec& paper = printed(font, 32, 3, "H", blue);
        EXPECT_EQ(at(keep, 0, 5), blue);  // paper kept
        EXPECT_EQ(at(keep, 3, 12), 0xFFFFFFFFu);  // the H's left stem
        EXPECT_EQ(at(fill, 0, 5), 0xFF000000u);
        EXPECT_EQ(at(fill, 3, 12), 0xFFFFFFFFu);
        EXPECT_EQ(at(paper, 0, 5), 0xFF000000u);
        EXPECT_EQ(at(paper, 3, 12), blue);  // ink left alone
        EXPECT_EQ(at(fill, 39, 39), blue);  // beyond the glyph
        if (font == one_bit)  // one-bit: every pixel is ink or paper
            EXPECT_EQ(count(fill, 0xFFFFFFFF) + count(fill, 0xFF000000),
                      count(keep, 0xFFFFFFFF) + count(paper, 0xFF000000));
        else  // anti-aliased edges mix the two colours
            EXPECT_GT(40 * 40 - count(fill, 0xFFFFFFFF) - count(fill, 0xFF000000) - count(fill, blue), 0);
    }
    // Filling the background mixes by exact halves here: alpha 252 and 126
    // give a mix of one half, and blue 0 and 5 give 2.5, which goes to 2.
    // Blended at alpha 126 over blue 1 that leaves 1 (3 would leave 2).
    {
        int32_t img = new_image(40, 40, 32, true);
        ImageRec& r = *image_record(-img);
        std::fill_n(reinterpret_cast<uint32_t*>(r.pixels), 40 * 40, 0xFF000001u);
        set_image_font(f, img, true);
        set_print_mode(1, img, true);
        r.fg_colour = 0xFC000000;
        r.bg_colour = 0x7E000005;
        print_at_pixel(0, 0, s("H"), img, 2);
        EXPECT_EQ(at(r, 0, 5) & 0xFFFFFF, 1u);
    }
    ImageRec& p8 = printed(f, 13, 2, "H", 1);
    EXPECT_EQ(at(p8, 3, 12), 15u);
    EXPECT_EQ(at(p8, 0, 5), 1u);
    EXPECT_EQ(count(p8, 15) + count(p8, 1), 40 * 40);  // no blending on palette pages

    int32_t img = new_image(8, 8, 32, true);
    set_image_font(f, img, true);
    const int32_t i3 = text_pixel_width(s("iii"), img, true), w3 = text_pixel_width(s("WWW"), img, true);
    EXPECT_GT(i3, 0);
    EXPECT_GT(w3, 2 * i3);
    EXPECT_EQ(text_pixel_width(s("iiiWWW"), img, true), i3 + w3);
    EXPECT_EQ(text_pixel_width(s(""), img, true), 0);
    int32_t mono = load(mono_family, 16, "MONOSPACE");
    set_image_font(mono, img, true);
    EXPECT_EQ(text_pixel_width(s("iWx"), img, true), 3 * font_width(mono, true));
    EXPECT_EQ(error_of([&] { text_pixel_width(s("a"), 0, true); }), 5);  // the text screen
    EXPECT_EQ(error_of([&] { print_at_pixel(0, 0, s("a"), 0, 2); }), 5);
}

// Byte 219 is the code page's full block, not U+00DB; with UNICODE the
// program's characters are code points, beyond 16 bits too.
TEST_F(LoadedFonts, CodePageAndUnicodeCharacters) {
    int32_t cp = load(mono_family, 16, "MONOSPACE"), uni = load(mono_family, 16, "MONOSPACE, UNICODE");
    ImageRec& block = printed(cp, 32, 2, "\xDB", 0xFF000000);
    EXPECT_GT(count(block, 0xFFFFFFFF), 8 * 14);
    ImageRec& raw = printed(uni, 32, 2, "\xDB", 0xFF000000);
    EXPECT_LT(count(raw, 0xFFFFFFFF), 8 * 8);
    // A code point beyond 16 bits through the cursor print path.
    int32_t img = new_image(40, 40, 32, true), sans_uni = load("DejaVu Sans", 24, "UNICODE");
    set_dest(img);
    set_image_font(sans_uni, img, true);
    ImageRec& r = *image_record(-img);
    r.fg_colour = 0xFFFFFFFF;
    put_glyph_at_cursor(0x1D400);  // mathematical bold capital A
    const int ink = count(r, 0xFFFFFFFF);
    EXPECT_GT(ink, 10);
    // Not the missing-glyph box that a code point without a glyph gives.
    std::fill_n(reinterpret_cast<uint32_t*>(r.pixels), 40 * 40, 0u);
    put_glyph_at_cursor(0x10FFFD);
    EXPECT_NE(count(r, 0xFFFFFFFF), ink);
}

// The refresh draws a text page's loaded monospace font from its glyph cells.
TEST_F(LoadedFonts, RefreshDrawsAMonospaceTextPage) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    int32_t mono = load(mono_family, 20, "MONOSPACE");
    set_image_font(mono, 0, false);
    ImageRec& page = *display_image();
    uint8_t* cell = page.pixels;
    cell[0] = 219, cell[1] = 0x1E;  // full block, yellow on blue
    display_refresh();
    SDL_Surface* surf = display_surface();
    ASSERT_TRUE(surf);
    const int cw = font_width(mono, true);
    EXPECT_EQ(surf->w, 80 * cw);
    EXPECT_EQ(surf->h, 25 * 20);
    auto px = [&](int x, int y) { return static_cast<uint32_t*>(surf->pixels)[y * (surf->pitch / 4) + x] & 0xFFFFFF; };
    EXPECT_EQ(px(cw / 2, 10), 0xFFFF55u);
    EXPECT_EQ(px(cw + cw / 2, 10), 0u);
    display_shutdown();
    set_image_font(16, 0, false);
}

}  // namespace

// A glyph too large to come with the font (the full block at 400 pixels) is
// rendered once and kept: drawn again after its file is gone, it is the same.
TEST_F(LoadedFonts, LargeGlyphsAreKeptOnceDrawn) {
    const std::string copy = ::testing::TempDir() + "large_glyphs.ttf";
    {
        std::ifstream in(font_file_path(sans), std::ios::binary);
        std::ofstream out(copy, std::ios::binary);
        out << in.rdbuf();
        ASSERT_TRUE(out.good());
    }
    int32_t f = load(copy, 400);
    ASSERT_GT(f, 0);
    const int32_t wide = loaded_glyph_width(uint32_t(f), 0xDB);
    ImageRec& first = printed(f, 32, 2, "\xDB", 0xFF000000);
    const int ink = count(first, 0xFFFFFFFF);
    ASSERT_GT(wide, 0);
    ASSERT_GT(ink, 0);
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    EXPECT_EQ(loaded_glyph_width(uint32_t(f), 0xDB), wide);
    EXPECT_EQ(count(printed(f, 32, 2, "\xDB", 0xFF000000), 0xFFFFFFFF), ink);
}
