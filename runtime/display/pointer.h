// The mouse pointer the runtime draws over its window.
#pragma once
#include <cstdint>

// The mouse pointer as XPM text rows (header, 3 colour lines, 32 picture rows,
// the hot-spot line, then a null entry), and the conversion to SDL_CreateCursor's
// data and mask (32 x 32, most significant bit leftmost; black sets both bits,
// white only the mask bit).
const char* const* mouse_pointer_xpm();
// Fills data and mask (128 bytes each) and the hot spot; false on malformed text
// (anything but a 32 x 32, one-character-a-pixel picture in black, white and
// None, or a null entry before the hot-spot line).
bool mouse_pointer_bits(const char* const* xpm, uint8_t* data, uint8_t* mask, int* hot_x, int* hot_y);
