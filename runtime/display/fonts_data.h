// The constant tables behind the built-in fonts and palettes, shared only by the
// files of the fonts subject (the rest of the runtime goes through fonts.h).
#pragma once
#include <cstdint>

// 256 glyphs x 8 rows x 8 pixels, then 256 x 16 x 8; one byte a pixel, 0 or 255.
extern const uint8_t Glyphs8x8Data[256 * 8 * 8];
extern const uint8_t Glyphs8x16Data[256 * 16 * 8];
