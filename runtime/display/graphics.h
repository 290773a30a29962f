// Graphics on pixel images: points in plain, view-port and world coordinates,
// alpha blending of 32-bit pixels, boxes, clipped and styled lines, and the
// statements built on them. Statements draw on the dest image (read_pixel reads
// the source image), return at once while a runtime error is pending and raise
// error 5 on a text image; points outside the view are clipped silently.
#pragma once
#include <cstdint>

// --- Statements --------------------------------------------------------------

// Passed bits of line_statement.
enum LinePassed : uint32_t {
    line_first_given = 1,  // else the line starts at the graphics cursor
    line_second_relative = 2,  // the second point is added to the graphics cursor
    line_first_relative = 4,
    line_colour_given = 8,  // else fg_colour
    line_style_given = 16,  // else a solid line
};
// Box mode 0 a line, 1 the four edges of the box, 2 a filled box.
void line_statement(float x1, float y1, float x2, float y2, uint32_t colour, int32_t box_mode, int32_t style,
                    uint32_t passed);

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
void view_port(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t fill, uint32_t border, uint32_t passed);
// Passed bits of world_window: 1 corners given (else world coordinates are
// switched off), 2 y grows downward as on the screen (else upward).
void world_window(float x1, float y1, float x2, float y2, uint32_t passed);
