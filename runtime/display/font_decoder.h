// Outline fonts decoded in a decoder child: SDL_ttf opens the face there at the
// height asked for and renders the glyphs; the program keeps only the sizes
// and the glyph bitmaps it is handed, and asks a child again for a glyph it
// was not given. The font file never reaches SDL_ttf in the program.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "runtime/platform/decoder_child.h"

// Opens a face. Job words: the size (a double's bits, low word first) and the
// font flags.
extern const DecoderEntry font_open_decoder;
// Renders one character. Job words: the point size, the font flags, the cell
// width and height, the character, 1 for one-bit or 0 for coverage.
extern const DecoderEntry font_glyph_decoder;

// Font files larger than this are not read (the largest CJK faces are ~30 MB).
constexpr size_t font_file_limit_bytes = size_t{128} << 20;
// Glyphs kept in a font's caches: at most this many bytes each (about 256 x 256 pixels).
constexpr size_t glyph_cache_limit_bytes = size_t{64} << 10;
// A text page's glyph cells beyond this many bytes are not kept: the refresh
// then draws paper only (a font that large leaves no room for text anyway).
constexpr size_t cell_glyphs_limit_bytes = size_t{16} << 20;

// A rendered glyph: one byte a pixel, `rows` rows of `width` (rows 1..cell
// height of the rendered surface).
struct Glyph {
    bool rendered = false;  // the cache holds the answer (whether or not it is drawable)
    bool ok = false;
    int32_t width = 0, rows = 0;
    std::vector<uint8_t> pixels;
};

// A face opened by the child: its sizes, the code-page glyphs in both
// renderings that fit the cache, and a monospace face's text-page cells.
struct DecodedFont {
    uint32_t points = 0;  // the point size the face was opened at
    uint32_t cell_height = 0;
    uint32_t cell_width = 0;  // monospace faces; 0 otherwise
    std::array<Glyph, 256> solid, shaded;  // not rendered: ask font_glyph_decoder
    std::vector<uint8_t> cells;  // 256 cells of cell_width x cell_height (0 or 255), or empty
};

// Reads the answers; false when they are not well formed.
bool font_open_answer_read(const std::vector<uint8_t>& answer, uint32_t flags, DecodedFont* font);
bool font_glyph_answer_read(const std::vector<uint8_t>& answer, uint32_t cell_height, Glyph* glyph);
