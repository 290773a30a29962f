// Coordinates of drawing: program points mapped through the view port and the
// world window, the statements that set them, and the point, pixel-reading and
// blending switches built on single pixels.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr uint32_t outside_pixel = 0xFFFFFFFF;

// The dest image when it can be drawn on; raises error 5 on a text image.
ImageRec* drawing_image() {
    ImageRec* dest = dest_image();
    if (!dest) return nullptr;
    if (dest->is_text) {
        runtime_error(error_illegal_function_call);
        return nullptr;
    }
    return dest->pixels ? dest : nullptr;
}

// A program value as a float without leaving the float range.
float to_float(double v) {
    return static_cast<float>(std::clamp(v, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

// Pixels of the view inside the image, as program coordinates with no window:
// the default world rectangle.
void window_from_view(ImageRec::GraphicsState& s) {
    s.window_x1 = static_cast<float>(s.view_x1 - s.view_offset_x);
    s.window_y1 = static_cast<float>(s.view_y1 - s.view_offset_y);
    s.window_x2 = static_cast<float>(s.view_x2 - s.view_offset_x);
    s.window_y2 = static_cast<float>(s.view_y2 - s.view_offset_y);
    s.scale_x = s.scale_y = 1.0f;
    s.offset_x = s.offset_y = 0.0f;
}

// Maps the ordered world rectangle onto the view; y grows upward unless
// `y_down`. False when the scale is not a finite number.
bool window_apply(ImageRec::GraphicsState& s, float x1, float y1, float x2, float y2, bool y_down) {
    double w = static_cast<double>(s.view_x2) - s.view_x1, h = static_cast<double>(s.view_y2) - s.view_y1;
    auto scale_x = static_cast<float>(w / (static_cast<double>(x2) - x1));
    auto scale_y = static_cast<float>((y_down ? h : -h) / (static_cast<double>(y2) - y1));
    if (!std::isfinite(scale_x) || !std::isfinite(scale_y)) return false;
    s.scale_x = scale_x;
    s.scale_y = scale_y;
    s.offset_x = static_cast<float>(s.view_x1 - s.view_offset_x - static_cast<double>(x1) * scale_x);
    double top = y_down ? s.view_y1 : s.view_y2;
    s.offset_y = static_cast<float>(top - s.view_offset_y - static_cast<double>(y1) * scale_y);
    s.window_x1 = x1;
    s.window_y1 = y1;
    s.window_x2 = x2;
    s.window_y2 = y2;
    return true;
}

// Graphics cursor to the centre of the view.
void cursor_to_view_centre(ImageRec& image) {
    ImageRec::GraphicsState& s = image.gfx;
    unmap_point(image, (static_cast<double>(s.view_x1) + s.view_x2) / 2,
                (static_cast<double>(s.view_y1) + s.view_y2) / 2, &s.gfx_x, &s.gfx_y);
}

bool view_is_whole_image(const ImageRec& image) {
    const ImageRec::GraphicsState& s = image.gfx;
    return s.view_x1 == 0 && s.view_y1 == 0 && s.view_x2 == image.width - 1 && s.view_y2 == image.height - 1 &&
        s.view_offset_x == 0 && s.view_offset_y == 0;
}

void point_draw(float x, float y, uint32_t colour, bool relative) {
    if (runtime_error_pending()) return;
    ImageRec* dest = drawing_image();
    if (!dest) return;
    ImageRec::GraphicsState& s = dest->gfx;
    if (relative) {
        x += s.gfx_x;
        y += s.gfx_y;
    }
    PixelPoint p{};
    if (!map_point(*dest, x, y, &p)) return runtime_error(error_illegal_function_call);
    s.gfx_x = x;
    s.gfx_y = y;
    dest->draw_colour = colour;
    PixelRect r = s.coord_mode == 0 ? PixelRect{0, 0, dest->width - 1, dest->height - 1} : view_rect(*dest);
    if (p.x >= r.x1 && p.x <= r.x2 && p.y >= r.y1 && p.y <= r.y2)
        set_pixel_blend(*dest, static_cast<int32_t>(p.x), static_cast<int32_t>(p.y), colour);
}

// The image a blending switch names; null after an error.
ImageRec* switch_image(int32_t image, bool passed) {
    if (!passed) return dest_image();
    int32_t handle = image_argument_handle(image);
    return handle ? image_record(handle) : nullptr;
}

}  // namespace

// --- Points ------------------------------------------------------------------

bool map_point(const ImageRec& image, double x, double y, PixelPoint* out) {
    const ImageRec::GraphicsState& s = image.gfx;
    double px, py;
    if (s.coord_mode == 2) {
        px = std::nearbyint(static_cast<double>(to_float(x) * s.scale_x + s.offset_x));
        py = std::nearbyint(static_cast<double>(to_float(y) * s.scale_y + s.offset_y));
    } else {
        px = std::nearbyint(x);
        py = std::nearbyint(y);
    }
    if (s.coord_mode != 0) {
        px += s.view_offset_x;
        py += s.view_offset_y;
    }
    if (!std::isfinite(px) || !std::isfinite(py)) return false;
    *out = {px, py};
    return true;
}

void unmap_point(const ImageRec& image, double px, double py, float* x, float* y) {
    const ImageRec::GraphicsState& s = image.gfx;
    if (s.coord_mode != 0) {
        px -= s.view_offset_x;
        py -= s.view_offset_y;
    }
    if (s.coord_mode == 2) {
        if (s.scale_x != 0.0f) px = (px - s.offset_x) / s.scale_x;
        if (s.scale_y != 0.0f) py = (py - s.offset_y) / s.scale_y;
    }
    *x = to_float(px);
    *y = to_float(py);
}

PixelRect view_rect(const ImageRec& image) {
    const ImageRec::GraphicsState& s = image.gfx;
    return {std::max(s.view_x1, 0), std::max(s.view_y1, 0), std::min(s.view_x2, image.width - 1),
            std::min(s.view_y2, image.height - 1)};
}

void fill_box_world(ImageRec& image, float x1, float y1, float x2, float y2, uint32_t colour) {
    PixelPoint a{}, b{};
    if (!map_point(image, x1, y1, &a) || !map_point(image, x2, y2, &b)) return;
    PixelRect r = view_rect(image);
    double left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    double top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    if (right < r.x1 || left > r.x2 || bottom < r.y1 || top > r.y2) return;
    fill_box_pixels(image, static_cast<int32_t>(std::max(left, static_cast<double>(r.x1))),
                    static_cast<int32_t>(std::max(top, static_cast<double>(r.y1))),
                    static_cast<int32_t>(std::min(right, static_cast<double>(r.x2))),
                    static_cast<int32_t>(std::min(bottom, static_cast<double>(r.y2))), colour);
}

// --- Statements --------------------------------------------------------------

void point_set(float x, float y, uint32_t colour, uint32_t passed) {
    const ImageRec* dest = dest_image();
    point_draw(x, y, (passed & 2) || !dest ? colour : dest->fg_colour, passed & 1);
}

void point_reset(float x, float y, uint32_t colour, uint32_t passed) {
    const ImageRec* dest = dest_image();
    point_draw(x, y, (passed & 2) || !dest ? colour : dest->bg_colour, passed & 1);
}

void blend_on(int32_t image, bool passed) {
    if (runtime_error_pending()) return;
    ImageRec* rec = switch_image(image, passed);
    if (!rec) return;
    if (rec->bytes_per_pixel != 4) return runtime_error(error_illegal_function_call);
    rec->blend_disabled = 0;
}

void blend_off(int32_t image, bool passed) {
    if (runtime_error_pending()) return;
    ImageRec* rec = switch_image(image, passed);
    if (rec && rec->bytes_per_pixel == 4) rec->blend_disabled = 1;
}

uint32_t read_pixel(float x, float y) {
    if (runtime_error_pending()) return 0;
    const ImageRec* source = source_image();
    if (!source || !source->pixels) return 0;
    if (source->is_text) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    PixelPoint p{};
    if (!map_point(*source, x, y, &p)) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    if (p.x < 0 || p.y < 0 || p.x >= source->width || p.y >= source->height) return outside_pixel;
    size_t i = static_cast<size_t>(p.y) * source->width + static_cast<size_t>(p.x);
    if (source->bytes_per_pixel == 4) return page_load32(source->pixels + i * 4);
    return source->pixels[i] & source->colour_mask;
}

void view_port(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border, uint32_t passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = drawing_image();
    if (!dest) return;
    ImageRec::GraphicsState& s = dest->gfx;
    bool corners = passed & 1;
    if (corners) {
        auto inside = [](int32_t v, int32_t size) { return v >= 0 && v < size; };
        if (!inside(x1, dest->width) || !inside(x2, dest->width) || !inside(y1, dest->height) ||
            !inside(y2, dest->height))
            return runtime_error(error_illegal_function_call);
        if (x1 > x2) std::swap(x1, x2);
        if (y1 > y2) std::swap(y1, y2);
    } else {
        x1 = y1 = 0;
        x2 = dest->width - 1;
        y2 = dest->height - 1;
    }
    bool world = s.coord_mode == 2;
    // The sign of the y scale remembers which way the world's y axis points.
    bool y_down = !std::signbit(s.scale_y);
    float window[4] = {s.window_x1, s.window_y1, s.window_x2, s.window_y2};
    s.view_x1 = x1;
    s.view_y1 = y1;
    s.view_x2 = x2;
    s.view_y2 = y2;
    bool absolute = !corners || (passed & 2);
    s.view_offset_x = absolute ? 0 : x1;
    s.view_offset_y = absolute ? 0 : y1;
    if (!world || !window_apply(s, window[0], window[1], window[2], window[3], y_down)) {
        window_from_view(s);
        s.coord_mode = corners ? 1 : 0;
    }
    if (corners && (passed & 4)) fill_box_pixels(*dest, x1, y1, x2, y2, fill);
    if (corners && (passed & 8)) {
        fill_box_pixels(*dest, x1 - 1, y1 - 1, x2 + 1, y1 - 1, border);
        fill_box_pixels(*dest, x1 - 1, y2 + 1, x2 + 1, y2 + 1, border);
        fill_box_pixels(*dest, x1 - 1, y1, x1 - 1, y2, border);
        fill_box_pixels(*dest, x2 + 1, y1, x2 + 1, y2, border);
    }
    cursor_to_view_centre(*dest);
}

void world_window(float x1, float y1, float x2, float y2, uint32_t passed) {
    if (runtime_error_pending()) return;
    ImageRec* dest = drawing_image();
    if (!dest) return;
    ImageRec::GraphicsState& s = dest->gfx;
    if (!(passed & 1)) {
        window_from_view(s);
        s.coord_mode = view_is_whole_image(*dest) ? 0 : 1;
        cursor_to_view_centre(*dest);
        return;
    }
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2) || x1 == x2 || y1 == y2)
        return runtime_error(error_illegal_function_call);
    ImageRec::GraphicsState kept = s;
    if (!window_apply(s, std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), passed & 2)) {
        s = kept;
        return runtime_error(error_illegal_function_call);
    }
    s.coord_mode = 2;
    cursor_to_view_centre(*dest);
}
