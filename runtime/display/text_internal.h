// Shared helpers of the text-output files: text geometry of an image, cell
// attributes, row blanking and scrolling, and pixel fills.
#pragma once
#include <cstdint>
#include <string>
#include "runtime/display/text.h"
#include "runtime/display/images_internal.h"

// --- For the rest of the runtime and the tests ---
// Draws character (taken as a byte) with its top-left corner at pixel (x, y) of
// image `handle` (an ImageTable handle, not the negated program number) in that
// image's font, colours and print mode; returns the advance width in pixels.
// A text image or an unknown handle draws nothing and returns 0.
int32_t put_glyph_at_pixel(int32_t x, int32_t y, uint32_t character, int32_t handle);

// The texts the function-key line labels F1-F12 with: the keyboard's soft
// keys, installed by the keyboard at its start-up (until then the labels are
// empty).
using KeyLabelSource = std::string (*)(int32_t key);
void key_line_label_hook_set(KeyLabelSource source);

// Redraws the function-key line on the last row of the dest image when `force`
// is set (mode change, clear screen) or when the on/off switch changed.
void key_line_redraw(bool force);

// --- Printer-page mode ---------------------------------------------------------------
// While it is on, print_string also counts printer columns (1..width) and a
// newline below the print view hands the page over instead of scrolling.
// The hook is called to send and clear the full page; without a hook the view
// scrolls as on screen.
using PrinterPageHook = void (*)();
void text_printer_mode_set(bool on, int32_t printer_width);
bool text_printer_mode();
int32_t text_printer_column();
// Where the printer column stands (a printer page that goes on from an
// earlier print); kept within 1..width.
void text_printer_column_set(int32_t column);
void text_printer_page_hook_set(PrinterPageHook hook);

// Back to the start-up state: key line off, printer mode off, no hook (start-up
// and tests).
void text_startup();
void text_shutdown();

// --- Shared by the subject's own files ---
struct ImageRec;

// Rows, columns and the character cell of an image as printing sees them.
// A variable-width font has cell_width 1 and as many columns as pixels.
struct TextGeometry {
    int32_t columns;
    int32_t rows;
    int32_t cell_width;  // pixels; 1 for a variable-width font
    int32_t cell_height;  // pixels; 1 for a text surface
    bool variable_width;
};
TextGeometry text_geometry(const ImageRec& image);

// The cell attribute of a text page: foreground in bits 0-3, blink (fg bit 4)
// in bit 7, background from bit 4.
inline uint8_t text_attribute(uint32_t fg, uint32_t bg) {
    return static_cast<uint8_t>((fg & 15) | ((fg & 16) << 3) | (bg << 4));
}

// Blanks text rows first..last (1-based, clamped to the image): text pages
// with spaces in `attribute`, pixel pages with `colour` over the rows' pixels.
// 32-bit fills are opaque.
void text_blank_rows(ImageRec& image, int32_t first, int32_t last, uint8_t attribute, uint32_t colour);
// Moves text rows top+1..bottom up by one row; row `bottom` keeps its old
// contents (the caller blanks it).
void text_scroll_up(ImageRec& image, int32_t top, int32_t bottom);

// Inclusive pixel box, clipped to the image. `opaque` stores 32-bit colours
// without blending; palette images store colour & colour_mask.
void text_fill_pixels(ImageRec& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, bool opaque);
// Fills the world rectangle of an image with a view port (the clear-screen
// fill), mapped to pixels, clamped to the view rectangle. Opaque.
void text_fill_world(ImageRec& image, uint32_t colour);

// Draws glyph c of a built-in font with its top-left corner at (x, y) in the
// image's colours and print mode; returns the advance width.
int32_t text_draw_glyph(ImageRec& image, int32_t x, int32_t y, uint32_t c);

// The function-key line back to off and not drawn.
void key_line_reset();
