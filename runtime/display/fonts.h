// Fonts and palettes: the default palettes, and the statements that load
// outline fonts and print with them.
#pragma once
#include <cstdint>

constexpr uint32_t font_slot_count = 1024;
constexpr uint32_t first_loaded_font = 32;

// Working palettes, 0xFFRRGGBB.
const uint32_t* vga256_palette();  // 256 entries; 0-15 are the 16 text colours
const uint32_t* text_palette16();  // 16 entries
const uint32_t* ega64_palette();  // 64 entries

// --- Loaded fonts (program thread) -------------------------------------------
struct StrDesc;

// Option words BOLD, ITALIC, UNDERLINE, DONTBLEND, MONOSPACE, UNICODE separated
// by commas, any case, spaces around; an unknown or repeated word is error 5.
// Size >= 1 is a pixel height, below 1 a point size in thousandths; below
// 0.001 is error 5, 1000.5 or more gives 0. A font that cannot be opened, a
// full table or a proportional face asked for MONOSPACE give -1. The face is
// opened and its glyphs rendered in decoder children: only a regular file is
// read, and one that crashes SDL_ttf or keeps it busy beyond 10 s gives -1
// (a glyph it cannot render draws nothing). Strings consumed.
int32_t load_font(StrDesc* file, double size, StrDesc* options, bool options_passed);
void free_font(int32_t handle);
void set_image_font(int32_t font, int32_t image, bool image_passed);
int32_t font_width(int32_t font, bool passed);
int32_t font_height(int32_t font, bool passed);
int32_t image_font(int32_t image, bool passed);
// 1 fills the background, 2 keeps it, 3 draws only the background.
void set_print_mode(int32_t option, int32_t image, bool passed);
// Passed bit 0: (x, y) relative to the graphics cursor; bit 1: image given.
void print_at_pixel(double x, double y, StrDesc* text, int32_t image, uint32_t passed);
int32_t text_pixel_width(StrDesc* text, int32_t image, bool passed);
