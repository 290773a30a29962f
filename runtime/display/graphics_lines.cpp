// Lines: a stepping line clipped to a rectangle without losing its pattern
// phase, solid and styled lines, and the line-and-box statement.
#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr uint16_t solid_style = 0xFFFF;
constexpr int32_t style_length = 16;
// Lines reaching beyond this many pixels are cut there along their own
// direction: what remains holds every pixel a page can have.
constexpr double coordinate_limit = 1099511627776.0;  // 2^40

bool inside_limit(double x, double y) { return std::fabs(x) <= coordinate_limit && std::fabs(y) <= coordinate_limit; }

// The largest fraction of the way from (x, y) towards (x + dx, y + dy) that
// stays inside the limit, for a start inside it. Measured from the near end,
// so a far end does not cost the near one its precision.
double reach(double x, double y, double dx, double dy) {
    double s = 1.0;
    for (auto [p, d] : {std::pair{x, dx}, std::pair{y, dy}}) {
        if (p + d > coordinate_limit) s = std::min(s, (coordinate_limit - p) / d);
        if (p + d < -coordinate_limit) s = std::min(s, (-coordinate_limit - p) / d);
    }
    return s;
}

// Both ends far out: the part of the line inside the limit (Liang-Barsky);
// false when it passes outside.
bool cut_between(double& x1, double& y1, double& x2, double& y2) {
    double t0 = 0, t1 = 1, dx = x2 - x1, dy = y2 - y1;
    for (auto [p, d] : {std::pair{x1, dx}, std::pair{y1, dy}}) {
        for (auto [q, r] : {std::pair{-d, p + coordinate_limit}, std::pair{d, coordinate_limit - p}}) {
            if (q == 0) {
                if (r < 0) return false;
            } else if (q < 0) {
                t0 = std::max(t0, r / q);
            } else {
                t1 = std::min(t1, r / q);
            }
        }
    }
    if (t0 > t1) return false;
    double ax = x1 + t0 * dx, ay = y1 + t0 * dy;
    x2 = x1 + t1 * dx;
    y2 = y1 + t1 * dy;
    x1 = ax;
    y1 = ay;
    return true;
}

// Pixel ends of a line between two mapped points, cut to the limit.
bool line_ends(PixelPoint a, PixelPoint b, int64_t* out) {
    if (!inside_limit(a.x, a.y) && !inside_limit(b.x, b.y)) {
        if (!cut_between(a.x, a.y, b.x, b.y)) return false;
    } else if (!inside_limit(b.x, b.y)) {
        double s = reach(a.x, a.y, b.x - a.x, b.y - a.y);
        b = {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y)};
    } else if (!inside_limit(a.x, a.y)) {
        double s = reach(b.x, b.y, a.x - b.x, a.y - b.y);
        a = {b.x + s * (a.x - b.x), b.y + s * (a.y - b.y)};
    }
    const double v[4] = {a.x, a.y, b.x, b.y};
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<int64_t>(std::nearbyint(std::clamp(v[i], -coordinate_limit, coordinate_limit)));
    return true;
}

// The minor coordinate of step i: start + i * extent / steps rounded half away
// from zero, in exact integers so that ties fall the same way on every pixel.
int64_t minor_at(int64_t start, int64_t extent, int64_t steps, int64_t i) {
    if (steps == 0) return start;
    __int128 n = static_cast<__int128>(start) * steps + static_cast<__int128>(i) * extent;
    __int128 twice = 2 * static_cast<__int128>(steps);
    if (n >= 0) return static_cast<int64_t>((2 * n + steps) / twice);
    return -static_cast<int64_t>((-2 * n + steps) / twice);
}

// The first i in [lo, hi] where `above(i)` holds, for a predicate that stays
// true once it is; hi + 1 when it never does.
template <class P>
int64_t first_where(int64_t lo, int64_t hi, P above) {
    while (lo <= hi) {
        int64_t mid = lo + (hi - lo) / 2;
        if (above(mid))
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return lo;
}

struct MinorWalk {
    int64_t extent;  // minor extent, |extent| <= steps
    int64_t twice;  // 2 * steps
    int64_t value;  // the rounded minor coordinate now
    int64_t rest;  // 0 <= rest < twice
};

// Inside the clipped span every rounded value is 0 or more, where rounding half
// up and half away from zero agree: floor((2n + steps) / (2 steps)).
MinorWalk minor_walk_start(const LineSpan& s, int64_t start, int64_t extent) {
    MinorWalk w{extent, 2 * std::max<int64_t>(s.steps, 1), 0, 0};
    __int128 t = 2 * (static_cast<__int128>(start) * s.steps + static_cast<__int128>(s.first) * extent) + s.steps;
    __int128 q = t / w.twice, r = t % w.twice;
    if (r < 0) {
        r += w.twice;
        --q;
    }
    w.value = static_cast<int64_t>(q);
    w.rest = static_cast<int64_t>(r);
    if (s.steps == 0) w.value = start;
    return w;
}

// The change of the minor coordinate at the next step: -1, 0 or 1.
inline int32_t minor_walk_step(MinorWalk& w) {
    w.rest += 2 * w.extent;
    if (w.rest >= w.twice) {
        w.rest -= w.twice;
        ++w.value;
        return 1;
    }
    if (w.rest < 0) {
        w.rest += w.twice;
        --w.value;
        return -1;
    }
    return 0;
}

// Pixels of the span whose style bit is set; the style's phase counts from the
// line's first end. Stored colours walk a pointer; blended ones go through the
// pixel routine.
void span_draw(ImageRec& image, const LineSpan& s, uint32_t colour, uint16_t style) {
    MinorWalk w = minor_walk_start(s, s.x_major ? s.y1 : s.x1, s.minor_extent);
    int64_t major = (s.x_major ? s.x1 : s.y1) + s.major_dir * s.first;
    const bool stored = image.bytes_per_pixel == 1 || image.blend_disabled || (colour >> 24) == 0xFF;
    if (!stored) {
        for (int64_t i = s.first; i <= s.last; ++i, major += s.major_dir) {
            if ((style >> (style_length - 1 - (i % style_length))) & 1) {
                auto a = static_cast<int32_t>(major), b = static_cast<int32_t>(w.value);
                if (s.x_major)
                    set_pixel_blend(image, a, b, colour);
                else
                    set_pixel_blend(image, b, a, colour);
            }
            minor_walk_step(w);
        }
        return;
    }
    const int64_t x = s.x_major ? major : w.value, y = s.x_major ? w.value : major;
    const ptrdiff_t bytes = image.bytes_per_pixel, row = static_cast<ptrdiff_t>(image.width) * bytes;
    const ptrdiff_t major_step = s.major_dir * (s.x_major ? bytes : row), minor_step = s.x_major ? row : bytes;
    uint8_t* at = image.pixels + y * row + x * bytes;
    const auto index = static_cast<uint8_t>(colour & image.colour_mask);
    for (int64_t i = s.first; i <= s.last; ++i, at += major_step) {
        if ((style >> (style_length - 1 - (i % style_length))) & 1) {
            if (bytes == 1)
                page_store8(at, index);
            else
                page_store32(at, colour);
        }
        at += minor_walk_step(w) * minor_step;
    }
}

}  // namespace

bool clip_line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const PixelRect& rect, LineSpan* span) {
    LineSpan s{};
    s.x1 = x1;
    s.y1 = y1;
    int64_t dx = x2 - x1, dy = y2 - y1;
    s.x_major = std::llabs(dx) >= std::llabs(dy);
    int64_t major_extent = s.x_major ? dx : dy;
    s.minor_extent = s.x_major ? dy : dx;
    s.steps = std::llabs(major_extent);
    s.major_dir = major_extent < 0 ? -1 : 1;
    if (rect.x1 > rect.x2 || rect.y1 > rect.y2) return false;

    // Steps whose major coordinate lies inside the rectangle.
    int64_t major0 = s.x_major ? x1 : y1;
    int64_t lo = s.x_major ? rect.x1 : rect.y1, hi = s.x_major ? rect.x2 : rect.y2;
    int64_t first = s.major_dir > 0 ? lo - major0 : major0 - hi;
    int64_t last = s.major_dir > 0 ? hi - major0 : major0 - lo;
    first = std::max<int64_t>(first, 0);
    last = std::min(last, s.steps);
    if (first > last) return false;

    // The minor coordinate moves one way only, so the steps inside its range
    // are one run, found by bisection.
    int64_t minor0 = s.x_major ? y1 : x1;
    int64_t mlo = s.x_major ? rect.y1 : rect.x1, mhi = s.x_major ? rect.y2 : rect.x2;
    auto minor = [&](int64_t i) { return minor_at(minor0, s.minor_extent, s.steps, i); };
    if (s.minor_extent >= 0) {
        first = first_where(first, last, [&](int64_t i) { return minor(i) >= mlo; });
        last = first_where(first, last, [&](int64_t i) { return minor(i) > mhi; }) - 1;
    } else {
        first = first_where(first, last, [&](int64_t i) { return minor(i) <= mhi; });
        last = first_where(first, last, [&](int64_t i) { return minor(i) < mlo; }) - 1;
    }
    if (first > last) return false;
    s.first = first;
    s.last = last;
    s.lost_steps = static_cast<int32_t>(first % style_length);
    *span = s;
    return true;
}

void line_span_pixel(const LineSpan& s, int64_t i, int32_t* x, int32_t* y) {
    int64_t major = (s.x_major ? s.x1 : s.y1) + s.major_dir * i;
    int64_t minor = minor_at(s.x_major ? s.y1 : s.x1, s.minor_extent, s.steps, i);
    *x = static_cast<int32_t>(s.x_major ? major : minor);
    *y = static_cast<int32_t>(s.x_major ? minor : major);
}

void draw_line_pixels(ImageRec& image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t colour) {
    if (image.is_text || !image.pixels) return;
    LineSpan s{};
    if (clip_line(x1, y1, x2, y2, view_rect(image), &s)) span_draw(image, s, colour, solid_style);
}

void draw_line_world(ImageRec& image, float x1, float y1, float x2, float y2, uint32_t colour, uint16_t style) {
    if (image.is_text || !image.pixels) return;
    PixelPoint a{}, b{};
    if (!map_point(image, x1, y1, &a) || !map_point(image, x2, y2, &b)) return;
    int64_t e[4];
    LineSpan s{};
    if (line_ends(a, b, e) && clip_line(e[0], e[1], e[2], e[3], view_rect(image), &s))
        span_draw(image, s, colour, style);
}

void line_statement(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box_mode, int32_t style,
                    uint32_t passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = dest_image();
    if (!dest) return;
    if (dest->is_text || box_mode < 0 || box_mode > 2) return runtime_error(error_illegal_function_call);
    ImageRec::GraphicsState& g = dest->gfx;
    if (!(passed & line_first_given)) {
        x1 = g.gfx_x;
        y1 = g.gfx_y;
    } else if (passed & line_first_relative) {
        x1 += g.gfx_x;
        y1 += g.gfx_y;
    }
    if (passed & line_second_relative) {
        x2 += g.gfx_x;
        y2 += g.gfx_y;
    }
    PixelPoint probe{};
    if (!map_point(*dest, x1, y1, &probe) || !map_point(*dest, x2, y2, &probe))
        return runtime_error(error_illegal_function_call);
    if (!(passed & line_colour_given)) colour = dest->fg_colour;
    auto pattern = (passed & line_style_given) ? static_cast<uint16_t>(style) : solid_style;
    g.gfx_x = x2;
    g.gfx_y = y2;
    dest->draw_colour = colour;
    if (!dest->pixels) return;
    switch (box_mode) {
    case 0:
        draw_line_world(*dest, x1, y1, x2, y2, colour, pattern);
        break;
    case 1:
        draw_line_world(*dest, x1, y1, x2, y1, colour, pattern);
        draw_line_world(*dest, x2, y1, x2, y2, colour, pattern);
        draw_line_world(*dest, x2, y2, x1, y2, colour, pattern);
        draw_line_world(*dest, x1, y2, x1, y1, colour, pattern);
        break;
    default:
        fill_box_world(*dest, x1, y1, x2, y2, colour);
        break;
    }
}
