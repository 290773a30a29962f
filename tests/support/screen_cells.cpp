// Reads a screenshot of a 40 x 25 text screen (binary PPM, 640 x 400) back into
// characters and colours, matching each 16 x 16 cell against the runtime's own
// 8 x 16 glyphs drawn twice as wide (with "80" after the file: an 80 x 25
// screen of 8 x 16 cells). Prints 25 rows of text (UTF-8), then 25
// rows of colours, two hex digits a cell (foreground, background; "??" when
// the cell matches no glyph, "-" for the foreground of a blank cell).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "runtime/core/code_page.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"

namespace {

constexpr int rows = 25, cell_height_px = 16, width_px = 640;
// 40 columns by default; "80" selects the 80-column screen.
int columns = 40, cell_width_px = 16, font = 17;

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};

bool read_ppm(const char* path, Image& image) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    int maxval = 0;
    const bool ok = std::fscanf(f, "P6 %d %d %d", &image.width, &image.height, &maxval) == 3 && maxval == 255 &&
        std::fgetc(f) != EOF;
    if (ok) {
        image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
        const bool full = std::fread(image.rgb.data(), 1, image.rgb.size(), f) == image.rgb.size();
        std::fclose(f);
        return full;
    }
    std::fclose(f);
    return false;
}

// Palette index of a colour, -1 when it is none of the 16 text colours.
int palette_index(uint32_t rgb) {
    const uint32_t* palette = text_palette16();
    for (int i = 0; i < 16; ++i)
        if ((palette[i] & 0xFFFFFF) == rgb) return i;
    return -1;
}

// Finds the glyph whose ink and background pixels each have one colour.
// Candidates are tried blank first, then printable ASCII, then the rest.
bool decode_cell(const Image& image, int row, int column, int& character, int& fg, int& bg) {
    const int x0 = column * cell_width_px, y0 = row * cell_height_px;
    for (int n = 0; n < 256; ++n) {
        const int c = n < 95 ? 32 + n : n < 127 ? n - 95 : n;
        uint32_t ink = 0, paper = 0;
        bool has_ink = false, has_paper = false, fits = true;
        for (int y = 0; y < cell_height_px && fits; ++y)
            for (int x = 0; x < cell_width_px && fits; ++x) {
                const uint32_t colour = image.at(x0 + x, y0 + y);
                const bool set = builtin_glyph_pixel(font, static_cast<uint8_t>(c), x, y) != 0;
                uint32_t& want = set ? ink : paper;
                bool& seen = set ? has_ink : has_paper;
                if (!seen) want = colour, seen = true;
                fits = want == colour;
            }
        if (!fits || (has_ink && has_paper && ink == paper)) continue;
        character = c;
        fg = has_ink ? palette_index(ink) : -2;
        bg = has_paper ? palette_index(paper) : -2;
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const bool wide = argc == 3 && std::string(argv[2]) == "80";
    if (argc != 2 && !wide) {
        std::fprintf(stderr, "usage: screen_cells SHOT.ppm [80]\n");
        return 2;
    }
    if (wide) columns = 80, cell_width_px = 8, font = 16;
    fonts_startup();
    Image image;
    if (!read_ppm(argv[1], image) || image.width != width_px || image.height != rows * cell_height_px) {
        std::fprintf(stderr, "screen_cells: %s is not a 640 x 400 binary PPM\n", argv[1]);
        return 1;
    }
    std::string text, colours;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            int character = 0, fg = 0, bg = 0;
            if (!decode_cell(image, r, c, character, fg, bg)) {
                text += '?';
                colours += "??";
                continue;
            }
            utf8_append(text, codepage_to_unicode(static_cast<uint8_t>(character)));
            const auto digit = [](int i) { return i == -2 ? '-' : i < 0 ? '?' : "0123456789abcdef"[i]; };
            colours += digit(fg);
            colours += digit(bg);
        }
        text += '\n';
        colours += '\n';
    }
    std::fputs(text.c_str(), stdout);
    std::fputs(colours.c_str(), stdout);
    return 0;
}
