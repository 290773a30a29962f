// Graphics on pixel images: points in plain, view-port and world coordinates,
// alpha blending of 32-bit pixels, boxes, clipped and styled lines, and the
// statements built on them. Statements draw on the dest image (read_pixel reads
// the source image), return at once while a runtime error is pending and raise
// error 5 on a text image; points outside the view are clipped silently.
#pragma once
#include <cstdint>

struct ImageRec;

// --- Statements --------------------------------------------------------------

// Passed bits of line_statement.
enum LinePassed : uint32_t {
    line_first_given = 1,      // else the line starts at the graphics cursor
    line_second_relative = 2,  // the second point is added to the graphics cursor
    line_first_relative = 4,
    line_colour_given = 8,     // else fg_colour
    line_style_given = 16,     // else a solid line
};
// Box mode 0 a line, 1 the four edges of the box, 2 a filled box.
void line_statement(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box_mode,
                    int32_t style, uint32_t passed);

// Passed bits of point_set and point_reset: 1 the point is relative to the
// graphics cursor, 2 a colour is given (else fg_colour, or bg_colour for reset).
void point_set(float x, float y, uint32_t colour, uint32_t passed);
void point_reset(float x, float y, uint32_t colour, uint32_t passed);

// The image is a negative handle or a page number when `passed`, else the dest
// image. Blending can be switched on only on a 32-bit image.
void blend_on(int32_t image, bool passed);
void blend_off(int32_t image, bool passed);

// The pixel of the source image at a point of its coordinates: the palette
// index or the 0xAARRGGBB word; 0xFFFFFFFF outside the image.
uint32_t read_pixel(float x, float y);

// Passed bits of view_port: 1 corners given (else the whole image), 2 the
// corners stay screen coordinates (else points are relative to the view's
// top-left corner), 4 fill the view with `fill`, 8 frame it with `border`.
void view_port(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border,
               uint32_t passed);
// Passed bits of world_window: 1 corners given (else world coordinates are
// switched off), 2 y grows downward as on the screen (else upward).
void world_window(float x1, float y1, float x2, float y2, uint32_t passed);

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
    int64_t x1, y1;        // the line's first end
    int64_t steps;         // major extent: the line has steps + 1 pixels
    int64_t minor_extent;  // signed
    bool x_major;
    int32_t major_dir;
    int64_t first, last;
    int32_t lost_steps;    // first % 16
};
bool clip_line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const PixelRect& rect, LineSpan* span);
// The pixel of step i of a span.
void line_span_pixel(const LineSpan& span, int64_t i, int32_t* x, int32_t* y);
void draw_line_pixels(ImageRec& image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t colour);
// The style is read from bit 15 down, one bit a pixel from the first end.
void draw_line_world(ImageRec& image, float x1, float y1, float x2, float y2, uint32_t colour, uint16_t style);
