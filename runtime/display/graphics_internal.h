// The graphics primitives under the statements: points in plain, view-port and
// world coordinates, alpha blending, boxes and clipped, styled lines.
#pragma once
#include <cstdint>
#include "runtime/display/graphics.h"
#include "runtime/display/images_internal.h"

struct ImageRec;

// --- Points ------------------------------------------------------------------
// A point of an image in pixels, whole numbers held as doubles: a program point
// far beyond any page still maps exactly; each primitive clips before it
// needs an integer.
struct PixelPoint {
    double x, y;
};
// Maps a program point through the image's coordinate mode (rounding ties to
// even); false when a coordinate is not finite.
bool map_point(const ImageRec& image, double x, double y, PixelPoint* out);
// The program coordinates of a pixel (inverse of map_point, unrounded).
void unmap_point(const ImageRec& image, double px, double py, float* x, float* y);

// The view rectangle of an image, inside the image.
struct PixelRect {
    int32_t x1, y1, x2, y2;
};
PixelRect view_rect(const ImageRec& image);

// --- Blending ----------------------------------------------------------------

// Builds MixTable and AlphaTable once (the first 32-bit image); without the
// memory for them blending computes each value instead.
void blend_tables_ensure();
// A 32-bit colour drawn over `old` by its alpha: 0 keeps old, 255 replaces it,
// 0x7F and 0x80 average the colour channels, others mix through the tables.
uint32_t blend_over(uint32_t old, uint32_t colour);

// --- Primitives (pixel coordinates, the image is a pixel surface) -------------

// The pixel must lie inside the image (callers clip).
void set_pixel_blend(ImageRec& image, int32_t x, int32_t y, uint32_t colour);
void set_pixel_clipped(ImageRec& image, int32_t x, int32_t y, uint32_t colour);
// Inclusive box; pixels outside the image are left out.
void fill_box_pixels(ImageRec& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Box between two program points, clamped to the view.
void fill_box_world(ImageRec& image, float x1, float y1, float x2, float y2, uint32_t colour);

// The part of a stepping line inside a rectangle: the steps first..last of the
// whole line from its first end (pixel i is the major coordinate start + i in
// the major direction and the minor one start + i * minor_extent / steps,
// rounded half away from zero), and the pattern steps lost before the first one.
struct LineSpan {
    int64_t x1, y1;  // the line's first end
    int64_t steps;  // major extent: the line has steps + 1 pixels
    int64_t minor_extent;  // signed
    bool x_major;
    int32_t major_dir;
    int64_t first, last;
    int32_t lost_steps;  // first % 16
};
bool clip_line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const PixelRect& rect, LineSpan* span);
// The pixel of step i of a span.
void line_span_pixel(const LineSpan& span, int64_t i, int32_t* x, int32_t* y);
void draw_line_pixels(ImageRec& image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t colour);
// The style is read from bit 15 down, one bit a pixel from the first end.
void draw_line_world(ImageRec& image, float x1, float y1, float x2, float y2, uint32_t colour, uint16_t style);
