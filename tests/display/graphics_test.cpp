// Graphics: blending against exact arithmetic, boxes and lines clipped by the
// view, line styles keeping their phase, coordinates in the three modes, and
// the statements' bad arguments.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <utility>

#include "display/display_fixture.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images_internal.h"

namespace {

class Graphics : public DisplayFixture {
protected:
    // A program image made dest and source.
    ImageRec& image(int32_t w, int32_t h, int32_t mode) {
        int32_t handle = new_image(w, h, mode, true);
        set_dest(handle);
        set_source(handle);
        return *image_record(-handle);
    }
    static uint32_t at(const ImageRec& r, int32_t x, int32_t y) {
        size_t i = size_t(y) * r.width + x;
        return r.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(r.pixels)[i] : r.pixels[i];
    }
    static std::set<std::pair<int, int>> lit(const ImageRec& r) {
        std::set<std::pair<int, int>> s;
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                if (at(r, x, y)) s.insert({x, y});
        return s;
    }
};

// The per-channel formulas in double precision: no value lies on a half, so
// rounding cannot go either way.
uint32_t mix_exact(uint32_t a, uint32_t s, uint32_t d) {
    return uint32_t(std::lround(a / 255.0 * s + (1 - a / 255.0) * d));
}
uint32_t alpha_exact(uint32_t a, uint32_t b) {
    return uint32_t(std::lround((1 - (1 - a / 255.0) * (1 - b / 255.0)) * 255));
}

TEST_F(Graphics, BlendingRules) {
    ImageRec& r = image(4, 1, 32);
    struct Case {
        uint32_t old, colour, expected;
    } cases[] = {
        {0xFF123456, 0x00FFFFFF, 0xFF123456},  // alpha 0: nothing
        {0x80123456, 0xFFABCDEF, 0xFFABCDEF},  // 255 replaces alpha too
        {0xFF000000, 0x80FF0000, 0xFF7F0000},  // halves after masking to 0xFE
        {0x00000000, 0x7F0000FF, (alpha_exact(0x7F, 0) << 24) | 0x7F},
    };
    for (const Case& c : cases) {
        reinterpret_cast<uint32_t*>(r.pixels)[0] = c.old;
        set_pixel_blend(r, 0, 0, c.colour);
        EXPECT_EQ(at(r, 0, 0), c.expected) << std::hex << c.old << " " << c.colour;
    }
    r.blend_disabled = 1;
    set_pixel_blend(r, 1, 0, 0x00ABCDEF);
    EXPECT_EQ(at(r, 1, 0), 0x00ABCDEFu);

    // Lines blend the same way.
    ImageRec& lines = image(8, 2, 32);
    fill_box_pixels(lines, 0, 0, 7, 1, 0xFF000000);
    draw_line_pixels(lines, 0, 0, 7, 1, 0x80FF0000);
    EXPECT_EQ(at(lines, 0, 0), 0xFF7F0000u);
    EXPECT_EQ(at(lines, 7, 1), 0xFF7F0000u);
    EXPECT_EQ(at(lines, 0, 1), 0xFF000000u);

    ImageRec& cga = image(4, 1, 1);
    set_pixel_blend(cga, 2, 0, 0x1F);
    EXPECT_EQ(at(cga, 2, 0), 3u);
}

TEST_F(Graphics, TablePathMatchesPerChannelArithmetic) {
    blend_tables_ensure();
    std::mt19937 random(11);
    for (int n = 0; n < 20000; ++n) {
        uint32_t old = random(), colour = random();
        uint32_t a = colour >> 24;
        if (a == 0 || a == 0x7F || a == 0x80 || a == 0xFF) continue;
        uint32_t expected = alpha_exact(a, old >> 24) << 24;
        for (int shift = 0; shift < 24; shift += 8)
            expected |= mix_exact(a, (colour >> shift) & 0xFF, (old >> shift) & 0xFF) << shift;
        ASSERT_EQ(blend_over(old, colour), expected) << std::hex << old << " " << colour;
    }
}

TEST_F(Graphics, BoxesFillBlendAndClamp) {
    ImageRec& r = image(16, 8, 32);
    std::vector<uint32_t> ramp(16 * 8);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = 0xFF000000 | uint32_t(i * 0x020305);
    std::copy(ramp.begin(), ramp.end(), reinterpret_cast<uint32_t*>(r.pixels));
    fill_box_pixels(r, -5, 2, 3, 100, 0x40FF8000);
    fill_box_pixels(r, 10, 1, 12, 1, 0xFF00FF00);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            uint32_t want = ramp[size_t(y) * 16 + x];
            if (x <= 3 && y >= 2) want = blend_over(want, 0x40FF8000);
            if (x >= 10 && x <= 12 && y == 1) want = 0xFF00FF00;
            ASSERT_EQ(at(r, x, y), want) << x << "," << y;
        }
    // Through the statement, against a view port: clamped, or nothing at all.
    ImageRec& p = image(20, 10, 13);
    view_port(5, 2, 14, 7, 0, 0, 1 | 2);
    line_statement(0, 0, 7, 4, 9, 2, 0, line_first_given | line_colour_given);
    line_statement(15, 8, 19, 9, 9, 2, 0, line_first_given | line_colour_given);
    std::set<std::pair<int, int>> want;
    for (int y = 2; y <= 4; ++y)
        for (int x = 5; x <= 7; ++x) want.insert({x, y});
    EXPECT_EQ(lit(p), want);
    // Edges of a box, and the graphics cursor at its second corner.
    ImageRec& q = image(10, 10, 13);
    line_statement(1, 1, 4, 3, 2, 1, 0, line_first_given | line_colour_given);
    EXPECT_EQ(lit(q).size(), 10u);
    EXPECT_EQ(at(q, 4, 2), 2u);
    EXPECT_EQ(at(q, 2, 2), 0u);
    EXPECT_FLOAT_EQ(q.gfx.gfx_x, 4.0f);
    EXPECT_EQ(q.draw_colour, 2u);
}

TEST_F(Graphics, ClippedLinesAreTheWholeLineCut) {
    // Whatever the rectangle, clipping keeps exactly the pixels of the whole
    // line that lie inside it.
    std::mt19937 random(5);
    ImageRec& page = image(40, 40, 13);
    const PixelRect everything{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    for (int n = 0; n < 3000; ++n) {
        auto c = [&] { return int64_t(random() % 60) - 20; };
        int64_t x1 = c(), y1 = c(), x2 = c(), y2 = c();
        PixelRect rect{int32_t(random() % 20), int32_t(random() % 20), 0, 0};
        rect.x2 = rect.x1 + int32_t(random() % 20);
        rect.y2 = rect.y1 + int32_t(random() % 20);
        LineSpan whole{}, cut{};
        ASSERT_TRUE(clip_line(x1, y1, x2, y2, everything, &whole));
        ASSERT_EQ(whole.last, whole.steps);
        std::vector<int64_t> inside;
        std::set<std::pair<int, int>> inside_pixels;
        for (int64_t i = 0; i <= whole.steps; ++i) {
            int32_t x, y;
            line_span_pixel(whole, i, &x, &y);
            if (i == 0) {
                EXPECT_EQ(std::make_pair(x, y), std::make_pair(int32_t(x1), int32_t(y1)));
            }
            if (i == whole.steps) {
                EXPECT_EQ(std::make_pair(x, y), std::make_pair(int32_t(x2), int32_t(y2)));
            }
            if (x >= rect.x1 && x <= rect.x2 && y >= rect.y1 && y <= rect.y2) {
                inside.push_back(i);
                inside_pixels.insert({x, y});
            }
        }
        // The drawing walks the same pixels.
        std::fill(page.pixels, page.pixels + 40 * 40, 0);
        page.gfx.view_x1 = rect.x1, page.gfx.view_y1 = rect.y1, page.gfx.view_x2 = rect.x2, page.gfx.view_y2 = rect.y2;
        draw_line_pixels(page, x1, y1, x2, y2, 1);
        ASSERT_EQ(lit(page), inside_pixels) << x1 << "," << y1 << " " << x2 << "," << y2;
        bool any = clip_line(x1, y1, x2, y2, rect, &cut);
        ASSERT_EQ(any, !inside.empty()) << x1 << "," << y1 << " " << x2 << "," << y2;
        if (!any) continue;
        ASSERT_EQ(inside.back() - inside.front() + 1, int64_t(inside.size()));
        ASSERT_EQ(cut.first, inside.front());
        ASSERT_EQ(cut.last, inside.back());
        EXPECT_EQ(cut.lost_steps, cut.first % 16);
    }
}

TEST_F(Graphics, LinesRoundTheMinorCoordinateHalfAwayFromZero) {
    LineSpan s{};
    const PixelRect big{-100, -100, 100, 100};
    ASSERT_TRUE(clip_line(0, 0, 4, 2, big, &s));  // minor 0, .5, 1, 1.5, 2
    int32_t x, y, ys[5];
    for (int i = 0; i < 5; ++i) line_span_pixel(s, i, &x, &ys[i]);
    EXPECT_EQ(std::vector<int32_t>(ys, ys + 5), (std::vector<int32_t>{0, 1, 1, 2, 2}));
    ASSERT_TRUE(clip_line(0, 0, 4, -2, big, &s));
    line_span_pixel(s, 1, &x, &y);
    EXPECT_EQ(y, -1);
}

TEST_F(Graphics, StyleCountsFromTheFirstEndAcrossClipping) {
    struct Case {
        int32_t x1, x2, view_left;
    } cases[] = {{0, 39, 0}, {39, 0, 0}, {0, 39, 5}, {39, 0, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x1 * 100 + c.view_left);
        ImageRec& r = image(40, 3, 13);
        if (c.view_left) view_port(c.view_left, 0, 39, 2, 0, 0, 1 | 2);
        line_statement(float(c.x1), 1, float(c.x2), 1, 7, 0, 0xFF00,
                       line_first_given | line_colour_given | line_style_given);
        for (int x = 0; x < 40; ++x) {
            int step = std::abs(x - c.x1);
            bool on = x >= c.view_left && (step % 16) < 8;
            EXPECT_EQ(at(r, x, 1), on ? 7u : 0u) << x;
        }
    }
    ImageRec& r = image(20, 1, 13);
    line_statement(0, 0, 19, 0, 1, 0, 0xAAAA, line_first_given | line_colour_given | line_style_given);
    EXPECT_EQ(at(r, 0, 0), 1u);
    EXPECT_EQ(at(r, 1, 0), 0u);
    EXPECT_EQ(at(r, 18, 0), 1u);
}

TEST_F(Graphics, CoordinatesInTheThreeModes) {
    ImageRec& r = image(640, 480, 32);
    point_set(2.5f, 0.5f, 0xFF000001, 2);  // ties to even: (2, 0)
    point_set(3.5f, 1.5f, 0xFF000002, 2);  // (4, 2)
    EXPECT_EQ(at(r, 2, 0), 0xFF000001u);
    EXPECT_EQ(at(r, 4, 2), 0xFF000002u);
    point_set(1, 1, 0xFF000003, 1 | 2);  // relative to the last point
    EXPECT_EQ(at(r, 4, 2), 0xFF000003u);
    EXPECT_FLOAT_EQ(r.gfx.gfx_x, 4.5f);

    view_port(100, 50, 199, 149, 0, 0, 1);  // points relative to the view
    point_set(0, 0, 0xFF000004, 2);
    point_set(150, 0, 0xFF000005, 2);  // outside the view: ignored
    EXPECT_EQ(at(r, 100, 50), 0xFF000004u);
    EXPECT_EQ(at(r, 250, 50), 0u);
    EXPECT_EQ(read_pixel(0, 0), 0xFF000004u);

    view_port(0, 0, 0, 0, 0, 0, 0);
    world_window(-1, -1, 1, 1, 1);  // y up; centre 319.5, 239.5 rounds to even
    EXPECT_EQ(r.gfx.coord_mode, 2);
    const std::pair<float, float> world[] = {{0, 0}, {-1, -1}, {1, 1}};
    const std::pair<int, int> pixel[] = {{320, 240}, {0, 479}, {639, 0}};
    for (int i = 0; i < 3; ++i) {
        point_set(world[i].first, world[i].second, 0xFF0000A0 + i, 2);
        EXPECT_EQ(at(r, pixel[i].first, pixel[i].second), 0xFF0000A0u + i) << i;
        EXPECT_EQ(read_pixel(world[i].first, world[i].second), 0xFF0000A0u + i);
    }
    world_window(0, 0, 0, 0, 0);
    EXPECT_EQ(r.gfx.coord_mode, 0);
}

TEST_F(Graphics, EveryPixelModeDrawsItsMaskedColour) {
    for (int32_t mode : {1, 2, 7, 8, 9, 10, 11, 12, 13, 256, 32}) {
        SCOPED_TRACE(mode);
        ImageRec& r = image(32, 16, mode);
        line_statement(0, 0, 31, 15, 0xFFFFFF35, 0, 0, line_first_given | line_colour_given);
        line_statement(2, 10, 5, 12, 0xFFFFFF35, 2, 0, line_first_given | line_colour_given);
        point_reset(31, 15, 0, 0);
        uint32_t want = 0xFFFFFF35 & r.colour_mask;
        EXPECT_EQ(read_pixel(0, 0), want);
        EXPECT_EQ(read_pixel(15, 7), want);
        EXPECT_EQ(read_pixel(4, 11), want);
        EXPECT_EQ(read_pixel(31, 15), r.bg_colour & r.colour_mask);
        EXPECT_EQ(read_pixel(3, 0), 0u);
    }
}

TEST_F(Graphics, BadArgumentsAndFarPoints) {
    // The start-up screen is text.
    EXPECT_EQ(error_of([] { line_statement(0, 0, 1, 1, 1, 0, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { point_set(0, 0, 1, 0); }), 5);
    EXPECT_EQ(error_of([] { read_pixel(0, 0); }), 5);
    EXPECT_EQ(error_of([] { blend_on(-12345, true); }), 258);
    // A far end keeps the line's direction: slope 1/2 from (10, 10).
    ImageRec& steep = image(64, 64, 13);
    line_statement(10, 10, 1e30f, 2e30f, 5, 0, 0, 1 | 8);
    EXPECT_EQ(at(steep, 20, 30), 5u);
    EXPECT_EQ(at(steep, 30, 50), 5u);
    EXPECT_EQ(at(steep, 30, 30), 0u);

    ImageRec& r = image(64, 48, 32);
    EXPECT_EQ(error_of([] { blend_on(0, true); }), 5);  // page 0 holds text
    EXPECT_EQ(error_of([] { line_statement(0, 0, 1, 1, 1, 3, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { line_statement(NAN, 0, 1, 1, 1, 0, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { point_set(INFINITY, 0, 1, 0); }), 5);
    blend_off(0, false);
    EXPECT_EQ(r.blend_disabled, 1);
    blend_on(0, false);
    EXPECT_EQ(r.blend_disabled, 0);

    // Far outside, a line still crosses the page at once, and a box covers it.
    const float far = 2147483648.0f;
    EXPECT_EQ(error_of([&] { line_statement(-far, -far, far, far, 0xFFFFFFFF, 0, 0, 1 | 8); }), 0);
    for (int i = 0; i < 48; ++i) EXPECT_EQ(at(r, i, i), 0xFFFFFFFFu) << i;
    EXPECT_EQ(error_of([&] { line_statement(-1e30f, -far, 1e30f, far, 0xFF000001, 2, 0, 1 | 8); }), 0);
    EXPECT_EQ(lit(r).size(), 64u * 48u);
    world_window(-1e-30f, -1e-30f, 1e-30f, 1e-30f, 1);
    EXPECT_EQ(error_of([] { line_statement(-1e30f, 0, 1e30f, 0, 1, 0, 0, 1 | 8); }), 5);
}

}  // namespace
