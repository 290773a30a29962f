// Font files through the font-loading statement and the drawing of a glyph.
// The first byte picks the size and the option bits, the next two a character
// (with the UNICODE option a code point of 16 bits), the rest is the file.
// Faces are opened and glyphs rendered by decoder children, which are this
// same program: a crash of SDL_ttf there is a refused font (-1) or a glyph
// that draws nothing, and the children's coverage is added to this
// process's. A crash of this process, or a font that loads with sizes the
// statement could not have given, is a finding.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"

namespace {

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "font_load_fuzz: %s\n", what);
    std::abort();
}

StrDesc* text(const std::string& s) { return str_from_bytes(s.data(), uint32_t(s.size())); }

struct Pages {
    int32_t true_colour = 0, palette = 0;
};

Pages start_once() {
    static Pages pages = [] {
        flags_reset();
        low_memory_clear();
        memory_startup();
        strings_startup();
        fonts_startup();
        images_startup();
        Pages p;
        p.true_colour = new_image(64, 64, 32, true);
        p.palette = new_image(64, 64, 13, true);
        check(p.true_colour < 0 && p.palette < 0, "the pages could not be made");
        return p;
    }();
    return pages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Pages pages = start_once();
    if (size < 3) return 0;
    static const double sizes[8] = {4, 12, 16, 24.5, 40, 0.009, 0.5, 130};
    static const char* const options[8] = {"",          "BOLD",    "ITALIC,UNDERLINE",       "DONTBLEND",
                                           "MONOSPACE", "UNICODE", "MONOSPACE,UNICODE,BOLD", "BOLD,ITALIC"};
    const double font_size = sizes[data[0] & 7];
    const char* const option = options[data[0] >> 5];
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/morv_font_fuzz_" + std::to_string(getpid()) + ".ttf";
    FILE* f = std::fopen(path.c_str(), "wb");
    check(f != nullptr, "the font file could not be written");
    std::fwrite(data + 3, 1, size - 3, f);
    std::fclose(f);
    const int32_t font = load_font(text(path), font_size, text(option), true);
    check(error_code.exchange(0) == 0, "a font file raised a runtime error");
    check(font == -1 || (font >= 32 && font < 1024), "the result is neither -1 nor a font handle");
    if (font >= 32) {
        const int32_t height = font_height(font, true);
        check(font_size < 1 ? height >= 1 : height == int32_t(std::nearbyint(font_size)),
              "a cell height the size cannot give");
        const std::string one = {static_cast<char>(data[1])};
        for (int32_t page : {pages.true_colour, pages.palette}) {
            set_image_font(font, page, true);
            print_at_pixel(1, 1, text(one), page, 2);
            text_pixel_width(text(one + one), page, true);
        }
        set_dest(pages.true_colour);
        if (option[0] && std::string(option).find("UNICODE") != std::string::npos)
            put_glyph_at_cursor(uint32_t(data[1]) | uint32_t(data[2]) << 8);
        check(error_code.exchange(0) == 0, "drawing with a loaded font raised a runtime error");
        set_image_font(16, pages.true_colour, true);
        set_image_font(16, pages.palette, true);
        free_font(font);
        check(error_code.exchange(0) == 0, "the font could not be freed");
    }
    std::remove(path.c_str());
    return 0;
}
