// FontTable with its six built-in handles, the code page 437 glyph tables, the
// default palettes, the monochrome blink table and the loaded fonts' slots, for
// the rest of the runtime.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include "runtime/display/fonts.h"
#include "runtime/display/images_internal.h"

struct ImageRec;

enum FontFlags : uint32_t {
    font_bold = 1,
    font_italic = 2,
    font_underline = 4,
    font_no_blending = 8,
    font_monospace = 16,
    font_unicode = 32,
};

struct FontSlot {
    uint32_t cell_width;  // pixels; 0 = variable width
    uint32_t cell_height;  // pixels
    uint32_t flags;  // FontFlags
    void* outline;  // a loaded font's own record (its glyphs), null for built-in fonts
    // Monospace loaded fonts: the 256 code-page glyphs as one-bit cells,
    // cell_width x cell_height bytes each (0 paper, 255 ink), rendered once at
    // load so the refresh never calls the font renderer; null otherwise.
    const uint8_t* cell_glyphs;
};

// Zeroes FontTable and fills the six built-in rows. Once at start-up. The glyph
// tables, palettes (alpha 0xFF included) and the blink table are constant data
// of the program, readable at any time.
void fonts_startup();

// The slot of a font handle; handles at or beyond font_slot_count give an
// empty slot (all zero) that nobody writes, so any thread may ask.
const FontSlot& font_slot(uint32_t handle);
// The slot that loading a font into `handle` fills (program thread); null for
// handles beyond the table.
FontSlot* font_slot_edit(uint32_t handle);

// 256 glyphs x 8 rows x 8 pixels, one byte a pixel (0 background, 255 ink).
const uint8_t* glyphs_8x8();
// 256 glyphs x 16 rows x 8 pixels in the same layout.
const uint8_t* glyphs_8x16();
// Byte-per-pixel rows of glyph c in built-in font `font` (8, 9, 14, 15, 16, 17):
// the first of cell_height rows of 8 source pixels; fonts 9, 15 and 17 draw each
// source pixel twice. Null for other fonts.
const uint8_t* builtin_glyph_rows(uint32_t font, uint8_t c);
// Pixel (x, y) of glyph c as drawn in the cell of built-in font `font` (0 or
// 255, with the doubling of fonts 9, 15 and 17); 0 outside the cell or for
// other fonts.
uint8_t builtin_glyph_pixel(uint32_t font, uint8_t c, uint32_t x, uint32_t y);

// MonoBlinkTable[phase][index], 0x00RRGGBB: phase 0, or any non-zero value for
// phase 1; index 0..8, black for any other index.
uint32_t mono_blink_colour(int phase, int index);

// Loads the default palette of the record's mode into its palette (nothing for
// a record without one). Only the mode's own entries are written.
void image_default_palette(ImageRec& image);

// The file a font name names: a name with a slash as it is; a bare file name
// in the program folder, then the current folder, then the system's fonts by
// file name or by family name (fontconfig). Empty when none is found.
std::string font_file_path(std::string_view name);

// The slot handle filled from `path`, or 0.
uint32_t open_font_slot(const char* path, double size, uint32_t flags);

// Draws character c (a code-page byte, or a code point with UNICODE) of the
// image's loaded font at (x, y); returns the advance (0 when it cannot render).
int32_t loaded_glyph_draw(ImageRec& image, int32_t x, int32_t y, uint32_t c);
// The advance of c in loaded font `font` without drawing; 0 when it cannot render.
int32_t loaded_glyph_width(uint32_t font, uint32_t c);
// Closes every loaded font (tests and shutdown).
void fonts_shutdown();
