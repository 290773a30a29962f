// Image copy: the rectangles the corners given decide, mirroring, clipping
// against both images, nearest sampling and the per-pixel rules.
#include "runtime/display/image_copy.h"
#include "runtime/display/image_copy_internal.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr uint32_t opaque_alpha = 0xFF000000;
// A scaled copy's source span reaches almost half a pixel past both end
// pixels, so the end pixels get their share of the destination.
constexpr double span_widening = 0.499999;
constexpr double coordinate_limit = 1099511627776.0;  // 2^40, well beyond any image

struct Rect {
    int64_t x1, y1, x2, y2;
    int64_t width() const { return x2 - x1 + 1; }
    int64_t height() const { return y2 - y1 + 1; }
};

// One axis of a copy: the source pixel of each destination pixel that lands
// inside both images, from the destination pixel `first` on.
struct AxisMap {
    int32_t first = 0;
    std::vector<int32_t> source;
    bool contiguous = false;  // source[i] == source[0] + i
};

// d1 <= d2 and s1 <= s2 are the ordered corners of one axis.
bool axis_map(int64_t d1, int64_t d2, int64_t s1, int64_t s2, bool mirrored, bool scaled, int32_t dest_size,
              int32_t source_size, AxisMap* out) {
    const int64_t n = d2 - d1 + 1;
    const int64_t lo = std::max<int64_t>(0, -d1), hi = std::min<int64_t>(n - 1, dest_size - 1 - d1);
    double start = 0, step = 0;
    if (scaled) {
        double a = static_cast<double>(s1) - span_widening, b = static_cast<double>(s2) + span_widening;
        start = mirrored ? b : a;
        double end = mirrored ? a : b;
        step = n > 1 ? (end - start) / static_cast<double>(n - 1) : 0.0;
    }
    out->source.clear();
    out->contiguous = !scaled && !mirrored;
    for (int64_t i = lo; i <= hi; ++i) {
        double s = scaled ? std::nearbyint(start + static_cast<double>(i) * step)
                          : static_cast<double>(mirrored ? s2 - i : s1 + i);
        bool inside = s >= 0 && s < source_size;
        if (!inside) {
            // Source positions move one way, so past the image means done.
            if (!out->source.empty()) break;
            continue;
        }
        if (out->source.empty()) out->first = static_cast<int32_t>(d1 + i);
        out->source.push_back(static_cast<int32_t>(s));
    }
    return !out->source.empty();
}

inline uint8_t* row_of(const ImageRec& image, int32_t y) {
    return image.pixels + static_cast<size_t>(y) * image.width * image.bytes_per_pixel;
}

void copy_row(const ImageRec& source, ImageRec& dest, const uint8_t* from, uint8_t* to, const AxisMap& xs) {
    const size_t count = xs.source.size();
    const int32_t* sx = xs.source.data();
    const int32_t transparent = source.transparent_colour;
    if (source.bytes_per_pixel == 4) {
        uint8_t* out = to + static_cast<size_t>(xs.first) * 4;
        if (!source.blend_disabled && !dest.blend_disabled) {
            for (size_t i = 0; i < count; ++i) {
                uint32_t c = *reinterpret_cast<const PageWord32*>(from + static_cast<size_t>(sx[i]) * 4);
                auto* at = out + i * 4;
                if ((c & opaque_alpha) == opaque_alpha)
                    page_store32(at, c);
                else if (c & opaque_alpha)
                    page_store32(at, blend_over(*reinterpret_cast<const PageWord32*>(at), c));
            }
        } else if (xs.contiguous) {
            page_write(out, from + static_cast<size_t>(sx[0]) * 4, count * 4);
        } else {
            auto pixel = [&](size_t i) -> uint64_t {
                return *reinterpret_cast<const PageWord32*>(from + static_cast<size_t>(sx[i]) * 4);
            };
            size_t i = 0;
            if (!page_memory_detail::aligned(out, 8) && count) page_store32(out, static_cast<uint32_t>(pixel(i++)));
            // Pairs of samples go out as one word.
            for (; i + 1 < count; i += 2) page_store64(out + i * 4, pixel(i) | pixel(i + 1) << 32);
            if (i < count) page_store32(out + i * 4, static_cast<uint32_t>(pixel(i)));
        }
        return;
    }
    if (dest.bytes_per_pixel == 4) {
        // A palette image has no alpha of its own: its colours cover what they
        // are copied onto, except the transparent colour.
        uint8_t* out = to + static_cast<size_t>(xs.first) * 4;
        for (size_t i = 0; i < count; ++i) {
            uint8_t index = from[sx[i]];
            if (index == transparent) continue;
            page_store32(out + i * 4, page_load32(&source.palette[index & source.colour_mask]) | opaque_alpha);
        }
        return;
    }
    uint8_t* out = to + xs.first;
    const auto mask = static_cast<uint8_t>(dest.colour_mask);
    if (transparent < 0 && xs.contiguous && (source.colour_mask & ~dest.colour_mask) == 0) {
        page_write(out, from + sx[0], count);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        uint8_t index = from[sx[i]];
        if (index != transparent) page_store8(out + i, index & mask);
    }
}

// Orders, mirrors, clips and copies; the rectangles are as the corners gave them.
void copy_rects(const ImageRec& source, ImageRec& dest, Rect d, Rect s, bool scaled) {
    bool mirror_x = (d.x2 < d.x1 && s.x1 < s.x2) || (s.x2 < s.x1 && d.x1 < d.x2);
    bool mirror_y = (d.y2 < d.y1 && s.y1 < s.y2) || (s.y2 < s.y1 && d.y1 < d.y2);
    if (d.x2 < d.x1) std::swap(d.x1, d.x2);
    if (d.y2 < d.y1) std::swap(d.y1, d.y2);
    if (s.x2 < s.x1) std::swap(s.x1, s.x2);
    if (s.y2 < s.y1) std::swap(s.y1, s.y2);
    AxisMap xs, ys;
    if (!axis_map(d.x1, d.x2, s.x1, s.x2, mirror_x, scaled, dest.width, source.width, &xs)) return;
    if (!axis_map(d.y1, d.y2, s.y1, s.y2, mirror_y, scaled, dest.height, source.height, &ys)) return;
    // Where what lands does not depend on what was there, a row sampled again
    // is a copy of the row above it.
    const bool covers = source.bytes_per_pixel == 4 ? (source.blend_disabled || dest.blend_disabled)
                                                    : source.transparent_colour < 0;
    const size_t row_span = xs.source.size() * dest.bytes_per_pixel;
    const size_t row_start = static_cast<size_t>(xs.first) * dest.bytes_per_pixel;
    for (size_t j = 0; j < ys.source.size(); ++j) {
        uint8_t* to = row_of(dest, ys.first + static_cast<int32_t>(j));
        if (covers && j > 0 && ys.source[j] == ys.source[j - 1])
            page_write(to + row_start, to - static_cast<size_t>(dest.width) * dest.bytes_per_pixel + row_start,
                       row_span);
        else
            copy_row(source, dest, row_of(source, ys.source[j]), to, xs);
    }
}

bool copyable(const ImageRec& source, const ImageRec& dest) {
    return !source.is_text && !dest.is_text && source.pixels && dest.pixels &&
        !(source.bytes_per_pixel == 4 && dest.bytes_per_pixel != 4);
}

Rect whole(const ImageRec& image) { return {0, 0, image.width - 1, image.height - 1}; }

bool same_size(const Rect& a, const Rect& b) {
    return std::llabs(a.x2 - a.x1) == std::llabs(b.x2 - b.x1) && std::llabs(a.y2 - a.y1) == std::llabs(b.y2 - b.y1);
}

// A corner in pixels of its image; false (error 5) when it is not a number.
bool corner(const ImageRec& image, double x, double y, bool given, int64_t* px, int64_t* py) {
    if (!given) x = y = 0;
    PixelPoint p{};
    if (!map_point(image, x, y, &p)) return false;
    *px = static_cast<int64_t>(std::clamp(p.x, -coordinate_limit, coordinate_limit));
    *py = static_cast<int64_t>(std::clamp(p.y, -coordinate_limit, coordinate_limit));
    return true;
}

// The rectangle `from` corner (x, y) with the extent of `other`, in its order.
Rect sized_like(int64_t x, int64_t y, const Rect& other) {
    return {x, y, x + std::llabs(other.x2 - other.x1), y + std::llabs(other.y2 - other.y1)};
}

ImageRec* image_named(int32_t argument, bool given, ImageRec* fallback) {
    if (!given) return fallback;
    int32_t handle = image_argument_handle(argument);
    return handle ? image_record(handle) : nullptr;
}

}  // namespace

bool image_copy_whole(const ImageRec& source, ImageRec& dest) {
    if (&source == &dest || !copyable(source, dest)) return false;
    Rect s = whole(source), d = whole(dest);
    copy_rects(source, dest, d, s, !same_size(d, s));
    return true;
}

void copy_image(double dx1, double dy1, double dx2, double dy2, int32_t source_arg, int32_t dest_arg, double sx1,
                double sy1, double sx2, double sy2, uint32_t passed) {
    if (runtime_error_pending()) return;
    ImageRec* source = image_named(source_arg, passed & copy_source_given, source_image());
    if (!source) return;
    ImageRec* dest = image_named(dest_arg, passed & copy_dest_given, dest_image());
    if (!dest) return;
    if (source == dest || source->is_text || dest->is_text ||
        (source->bytes_per_pixel == 4 && dest->bytes_per_pixel != 4))
        return runtime_error(error_illegal_function_call);
    const bool d1 = passed & copy_dest_first, d2 = passed & copy_dest_second;
    const bool s1 = passed & copy_source_first, s2 = passed & copy_source_second;
    if (s1 && !d2 && !s2) return runtime_error(error_illegal_function_call);
    Rect d{}, s{};
    if (!corner(*dest, dx1, dy1, d1, &d.x1, &d.y1) || !corner(*dest, dx2, dy2, d2, &d.x2, &d.y2) ||
        !corner(*source, sx1, sy1, s1, &s.x1, &s.y1) || !corner(*source, sx2, sy2, s2, &s.x2, &s.y2))
        return runtime_error(error_illegal_function_call);
    if (!source->pixels || !dest->pixels) return;
    bool scaled = false;
    if (!d2 && !s2) {
        s = whole(*source);
        if (d1)
            d = sized_like(d.x1, d.y1, s);
        else
            d = whole(*dest);
        scaled = !same_size(d, s);
    } else if (d2 && !s2) {
        if (s1)
            s = sized_like(s.x1, s.y1, d);
        else
            s = whole(*source);
        scaled = !same_size(d, s);
    } else if (s2 && !d2) {
        if (d1)
            d = sized_like(d.x1, d.y1, s);
        else
            d = whole(*dest);
        scaled = !same_size(d, s);
    } else {
        scaled = !same_size(d, s);
    }
    copy_rects(*source, *dest, d, s, scaled);
}
