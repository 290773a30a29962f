// The mouse pointer: an up-left arrow held as XPM text, and its conversion to
// the data and mask bits of an SDL cursor.
#include "runtime/display/pointer.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

constexpr int pointer_size_px = 32;
constexpr int pointer_bytes = pointer_size_px * pointer_size_px / 8;

const char* const MousePointerXpm[] = {
    "    32    32        3            1",
    "X c #000000",
    ". c #ffffff",
    "  c None",
    "X                               ",
    "XX                              ",
    "X.X                             ",
    "X..X                            ",
    "X...X                           ",
    "X....X                          ",
    "X.....X                         ",
    "X......X                        ",
    "X.......X                       ",
    "X........X                      ",
    "X.........X                     ",
    "X..........X                    ",
    "X......XXXXX                    ",
    "X...X..X                        ",
    "X..XX..X                        ",
    "X.X  X..X                       ",
    "XX   X..X                       ",
    "X     X..X                      ",
    "      X..X                      ",
    "       X..X                     ",
    "        XX                      ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "0,0",
    nullptr,
};

enum class PointerInk : uint8_t { undeclared, black, white, transparent };

// One colour line, "<char> c <colour>"; SDL cursors know only black, white and none.
bool read_colour_line(const char* line, PointerInk (&inks)[256]) {
    if (!line || line[0] == '\0' || std::strncmp(line + 1, " c ", 3) != 0) return false;
    const char* colour = line + 4;
    PointerInk ink;
    if (strcasecmp(colour, "None") == 0)
        ink = PointerInk::transparent;
    else if (strcasecmp(colour, "#000000") == 0)
        ink = PointerInk::black;
    else if (strcasecmp(colour, "#ffffff") == 0)
        ink = PointerInk::white;
    else
        return false;
    inks[static_cast<unsigned char>(line[0])] = ink;
    return true;
}

bool read_picture_row(const char* line, int y, const PointerInk (&inks)[256], uint8_t* data, uint8_t* mask) {
    if (!line || std::strlen(line) != pointer_size_px) return false;
    for (int x = 0; x < pointer_size_px; ++x) {
        PointerInk ink = inks[static_cast<unsigned char>(line[x])];
        int byte = y * (pointer_size_px / 8) + x / 8;
        uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        if (ink == PointerInk::undeclared) return false;
        if (ink == PointerInk::black) data[byte] |= bit;
        if (ink != PointerInk::transparent) mask[byte] |= bit;
    }
    return true;
}

// Reads the whole text; the caller has cleared data and mask. A null entry ends
// the reading, so a short array is never read past its end.
bool read_pointer(const char* const* xpm, uint8_t* data, uint8_t* mask, int* hot_x, int* hot_y) {
    int width = 0, height = 0, colours = 0, chars_per_pixel = 0;
    if (!xpm[0] || std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &chars_per_pixel) != 4) return false;
    if (width != pointer_size_px || height != pointer_size_px || chars_per_pixel != 1 || colours < 1 || colours > 256)
        return false;
    PointerInk inks[256] = {};
    int line = 1;
    for (int i = 0; i < colours; ++i, ++line)
        if (!read_colour_line(xpm[line], inks)) return false;
    for (int y = 0; y < pointer_size_px; ++y, ++line)
        if (!read_picture_row(xpm[line], y, inks, data, mask)) return false;
    int x = 0, y = 0;
    if (!xpm[line] || std::sscanf(xpm[line], "%d,%d", &x, &y) != 2) return false;
    if (x < 0 || x >= pointer_size_px || y < 0 || y >= pointer_size_px) return false;
    *hot_x = x;
    *hot_y = y;
    return true;
}

}  // namespace

const char* const* mouse_pointer_xpm() { return MousePointerXpm; }

bool mouse_pointer_bits(const char* const* xpm, uint8_t* data, uint8_t* mask, int* hot_x, int* hot_y) {
    if (!xpm || !data || !mask || !hot_x || !hot_y) return false;
    std::memset(data, 0, pointer_bytes);
    std::memset(mask, 0, pointer_bytes);
    if (read_pointer(xpm, data, mask, hot_x, hot_y)) return true;
    std::memset(data, 0, pointer_bytes);  // no half-read picture
    std::memset(mask, 0, pointer_bytes);
    return false;
}
