// Image copy: scaled sampling of the end pixels, mirroring, clipping against
// both images, the pixel rules, the refusals, and the window icon made by it.
#include <gtest/gtest.h>

#include <cmath>

#include "display/display_fixture.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/graphics.h"
#include "runtime/display/image_copy.h"
#include "runtime/display/images_internal.h"

namespace {

constexpr uint32_t all_corners = copy_dest_first | copy_dest_second | copy_source_first | copy_source_second;
constexpr uint32_t both_images = copy_source_given | copy_dest_given;

class ImageCopy : public DisplayFixture {
protected:
    static uint32_t* words(ImageRec& r) { return reinterpret_cast<uint32_t*>(r.pixels); }
    static uint32_t at(const ImageRec& r, int x, int y) {
        size_t i = size_t(y) * r.width + x;
        return r.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(r.pixels)[i] : r.pixels[i];
    }
    // A 32-bit image whose pixels name their own place: 0xFF, x, y.
    int32_t named(int w, int h) {
        int32_t handle = new_image(w, h, 32, true);
        ImageRec& r = *image_record(-handle);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) words(r)[size_t(y) * w + x] = name(x, y);
        return handle;
    }
    static uint32_t name(int x, int y) { return 0xFF000000u | uint32_t(x) << 12 | uint32_t(y); }
    void copy(int32_t src, int32_t dst, double dx1, double dy1, double dx2, double dy2, double sx1, double sy1,
              double sx2, double sy2, uint32_t corners) {
        copy_image(dx1, dy1, dx2, dy2, src, dst, sx1, sy1, sx2, sy2, corners | both_images);
    }
};

TEST_F(ImageCopy, ScaledDownSamplesTheEndPixels) {
    int32_t src = named(640, 400), dst = new_image(32, 32, 32, true);
    copy(src, dst, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    ImageRec& d = *image_record(-dst);
    EXPECT_EQ(at(d, 0, 0), name(0, 0));
    EXPECT_EQ(at(d, 31, 31), name(639, 399));
    // Nearest sampling over the widened span, ties to even.
    double step_x = (639.499999 + 0.499999) / 31;
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(at(d, x, 0) >> 12 & 0xFFF, uint32_t(std::nearbyint(-0.499999 + x * step_x))) << x;
    // Scaled up, every source pixel gets its share.
    int32_t small = named(2, 1), wide = new_image(6, 1, 32, true);
    copy(small, wide, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    ImageRec& w = *image_record(-wide);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(at(w, x, 0), name(x / 3, 0)) << x;
}

TEST_F(ImageCopy, CornerOrdersMirror) {
    struct Case {
        double dx1, dy1, dx2, dy2, sx1, sy1, sx2, sy2;
        bool flip_x, flip_y;
    } cases[] = {
        {0, 0, 3, 2, 0, 0, 3, 2, false, false}, {3, 0, 0, 2, 0, 0, 3, 2, true, false},
        {0, 2, 3, 0, 0, 0, 3, 2, false, true},  {0, 0, 3, 2, 3, 2, 0, 0, true, true},
        {3, 2, 0, 0, 3, 2, 0, 0, false, false},
    };
    int32_t src = named(4, 3);
    for (const Case& c : cases) {
        int32_t dst = new_image(4, 3, 32, true);
        copy(src, dst, c.dx1, c.dy1, c.dx2, c.dy2, c.sx1, c.sy1, c.sx2, c.sy2, all_corners);
        ImageRec& d = *image_record(-dst);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_EQ(at(d, x, y), name(c.flip_x ? 3 - x : x, c.flip_y ? 2 - y : y)) << x << "," << y;
    }
    // A scaled mirror: the second dest corner alone, reversed.
    int32_t dst = new_image(8, 3, 32, true);
    copy(src, dst, 7, 0, 0, 2, 0, 0, 0, 0, copy_dest_first | copy_dest_second);
    EXPECT_EQ(at(*image_record(-dst), 0, 0), name(3, 0));
    EXPECT_EQ(at(*image_record(-dst), 7, 2), name(0, 2));
}

TEST_F(ImageCopy, PlainCopiesClipAgainstBothImages) {
    // Dest corner and source rectangle placed over every edge of both images.
    const int offsets[] = {-3, -1, 0, 2, 5, 7};
    int32_t src = named(6, 5);
    for (int ox : offsets)
        for (int oy : offsets)
            for (bool mirrored : {false, true}) {
                int32_t dst = new_image(7, 6, 32, true);
                ImageRec& d = *image_record(-dst);
                // Source rectangle (ox-1, oy-2)-(ox+3, oy+1) sticks out of the source where it may.
                int sx1 = ox - 1, sy1 = oy - 2, sx2 = ox + 3, sy2 = oy + 1;
                copy(src, dst, ox, oy, 0, 0, mirrored ? sx2 : sx1, sy1, mirrored ? sx1 : sx2, sy2,
                     copy_dest_first | copy_source_first | copy_source_second);
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 7; ++x) {
                        int i = x - ox, j = y - oy;
                        int from_x = mirrored ? sx2 - i : sx1 + i, from_y = sy1 + j;
                        bool drawn = i >= 0 && i <= 4 && j >= 0 && j <= 3 && from_x >= 0 && from_x < 6 && from_y >= 0 &&
                            from_y < 5;
                        ASSERT_EQ(at(d, x, y), drawn ? name(from_x, from_y) : 0u)
                            << ox << "," << oy << " m" << mirrored << " at " << x << "," << y;
                    }
            }
}

TEST_F(ImageCopy, PixelRules) {
    // Palette with transparent colour 0 onto 32-bit: index 0 leaves the
    // destination; others take the palette colour, opaque even when the
    // program's palette entry has no alpha.
    int32_t pal = new_image(2, 1, 13, true), deep = new_image(2, 1, 32, true);
    ImageRec& p = *image_record(-pal);
    ImageRec& d = *image_record(-deep);
    p.transparent_colour = 0;
    p.pixels[1] = 5;
    p.palette[5] = 0x00123456;
    words(d)[0] = words(d)[1] = 0x11223344;
    copy(pal, deep, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(at(d, 0, 0), 0x11223344u);
    EXPECT_EQ(at(d, 1, 0), 0xFF123456u);

    // Palette to palette: the transparent index skipped, the rest masked.
    int32_t two = new_image(2, 1, 1, true);
    image_record(-two)->pixels[0] = 2;
    p.pixels[0] = 0;
    p.pixels[1] = 7;
    copy(pal, two, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(at(*image_record(-two), 0, 0), 2u);
    EXPECT_EQ(at(*image_record(-two), 1, 0), 3u);

    // 32-bit to 32-bit blends unless either side has blending off.
    int32_t glass = new_image(1, 1, 32, true), back = new_image(1, 1, 32, true);
    words(*image_record(-glass))[0] = 0x80FF0000;
    words(*image_record(-back))[0] = 0xFF000000;
    copy(glass, back, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(at(*image_record(-back), 0, 0), 0xFF7F0000u);
    blend_off(back, true);
    copy(glass, back, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(at(*image_record(-back), 0, 0), 0x80FF0000u);
}

TEST_F(ImageCopy, Refusals) {
    int32_t deep = new_image(4, 4, 32, true), pal = new_image(4, 4, 13, true);
    words(*image_record(-deep))[5] = 0xFF0000FF;
    auto run = [](int32_t s, int32_t d, uint32_t corners, double x = 0) {
        copy_image(x, 0, 1, 1, s, d, 0, 0, 2, 2, corners | both_images);
    };
    EXPECT_EQ(error_of([&] { run(0, deep, 0); }), 5);  // text page 0
    EXPECT_EQ(error_of([&] { run(deep, pal, 0); }), 5);  // 32-bit onto palette
    EXPECT_EQ(error_of([&] { run(-77, deep, 0); }), 258);
    EXPECT_EQ(error_of([&] { run(pal, deep, copy_source_first); }), 5);
    EXPECT_EQ(error_of([&] { run(pal, deep, copy_dest_first, NAN); }), 5);
    // One image as source and destination, overlapping or not, is refused and untouched.
    EXPECT_EQ(error_of([&] { run(deep, deep, all_corners); }), 5);
    EXPECT_EQ(words(*image_record(-deep))[5], 0xFF0000FFu);
    EXPECT_EQ(words(*image_record(-deep))[0], 0u);
    // Corners far beyond any image copy what falls inside, at once.
    EXPECT_EQ(error_of([&] { copy_image(-4e9, -4e9, 4e9, 4e9, pal, deep, 0, 0, 0, 0, both_images | 1 | 4); }), 0);
}

TEST_F(ImageCopy, IconFromAPage) {
    set_screen_mode(13, 0, 0, 0, 0, 1);
    ImageRec& page = *image_record(page_handle(0));
    page.palette[9] = 0x00ABCDEF;  // as a program sets it: no alpha
    page.pixels[0] = 9;
    page.pixels[199 * 320 + 319] = 9;
    uint32_t icon[32 * 32];
    ASSERT_TRUE(window_icon_pixels(0, icon));
    EXPECT_EQ(icon[0], 0xFFABCDEFu);
    EXPECT_EQ(icon[32 * 32 - 1], 0xFFABCDEFu);
    EXPECT_EQ(icon[1], 0xFF000000u | page.palette[0]);
    EXPECT_EQ(error_of([&] { window_icon_pixels(-4000, icon); }), 258);
    set_window_icon(0);  // hands the pixels to the window without an error
    EXPECT_EQ(error_code.load(), 0);
}

}  // namespace
