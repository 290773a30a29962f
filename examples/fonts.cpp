// fonts: loaded outline fonts and a PNG picture on a 640 x 480 32-bit screen;
// a key ends it with exit code 0. The window is captioned "Fonts".
//   y 8, 32, 64   "DejaVu Sans 16 / 24 / 32" at 16, 24 and 32 pixels (white)
//   y 110, 146    the same line in bold and in italic at 24 pixels
//   y 200..379    a ramp (red rising with x, blue falling) behind three lines
//                 at 24 pixels, white on half-transparent black: "keep" (print
//                 mode 2) at y 212, "fill" (1) at y 268, "only background" (3)
//                 at y 324 (the paper of "fill" mixes the two colours by
//                 their alphas: half-transparent grey)
//   (440, 392)    a 64 x 64 PNG written at start: a yellow disc of radius 28,
//                 transparent outside it, drawn over the end of a text line
// The fonts are found through fontconfig. SDL_VIDEODRIVER=dummy runs it
// without a window.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <morv/runtime.h>

namespace {

constexpr uint32_t opaque = 0xFF000000, white = 0xFFFFFFFF;

StrDesc* text(const char* t) { return str_from_cstring(t); }

void print_line(int32_t font, double x, double y, const char* line, int32_t mode = 1) {
    set_image_font(font, 0, false);
    set_print_mode(mode, 0, false);
    print_at_pixel(x, y, text(line), 0, 0);
}

// PNG by hand: deflate's stored blocks need no compressor, only the checksums.
uint32_t crc(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    put32(png, uint32_t(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, crc(&png[start], png.size() - start));
}
std::string write_disc_png() {
    const int size = 64;
    std::vector<uint8_t> raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        for (int x = 0; x < size; ++x) {
            int dx = x - 32, dy = y - 32;
            bool inside = dx * dx + dy * dy <= 28 * 28;
            raw.insert(raw.end(), {255, 220, 0, uint8_t(inside ? 255 : 0)});
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
    for (size_t at = 0; at < raw.size(); at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        z.insert(z.end(), {uint8_t(at + n == raw.size()), uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
    }
    put32(z, b << 16 | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, ihdr;
    put32(ihdr, size), put32(ihdr, size);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk(png, "IHDR", ihdr), chunk(png, "IDAT", z), chunk(png, "IEND", {});
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/morv_fonts_disc.png";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(png.data(), 1, png.size(), f);
        std::fclose(f);
    }
    return path;
}

int fonts_program(void*) {
    set_window_title(str_lit("Fonts"));
    int32_t screen = new_image(640, 480, 32, true);
    set_screen_mode(screen, 0, 0, 0, 0, 1);
    const char* sans = "DejaVu Sans";
    int32_t f16 = load_font(text(sans), 16, nullptr, false), f24 = load_font(text(sans), 24, nullptr, false);
    int32_t f32 = load_font(text(sans), 32, nullptr, false);
    int32_t bold = load_font(text(sans), 24, text("BOLD"), true),
            italic = load_font(text(sans), 24, text("ITALIC"), true);
    if (f16 > 0 && f24 > 0 && f32 > 0 && bold > 0 && italic > 0) {
        set_colours(white, opaque, 0, 1 | 2);
        print_line(f16, 16, 8, "DejaVu Sans 16");
        print_line(f24, 16, 32, "DejaVu Sans 24");
        print_line(f32, 16, 64, "DejaVu Sans 32");
        print_line(bold, 16, 110, "DejaVu Sans 24 bold");
        print_line(italic, 16, 146, "DejaVu Sans 24 italic");
        for (int x = 0; x < 640; ++x) {
            uint32_t r = uint32_t(x) * 255 / 639;
            line_statement(float(x), 200, float(x), 379, opaque | r << 16 | (255 - r), 0, 0,
                           line_first_given | line_colour_given);
        }
        set_colours(white, 0x80000000, 0, 1 | 2);
        print_line(f24, 16, 212, "keep: the ramp shows between the letters", 2);
        print_line(f24, 16, 268, "fill: letters on half-dark paper", 1);
        print_line(f24, 16, 324, "only background: the letters stay open", 3);
        set_colours(white, opaque, 0, 1 | 2);
        print_line(f24, 16, 408, "A picture with transparency drawn over text", 2);
        const std::string png = write_disc_png();
        int32_t disc = load_image(str_from_bytes(png.data(), uint32_t(png.size())), 32, true);
        std::remove(png.c_str());
        if (disc < -1)
            copy_image(440, 392, 0, 0, disc, 0, 0, 0, 0, 0, copy_source_given | copy_dest_given | copy_dest_first);
    } else {
        print_text("DejaVu Sans was not found (fonts-dejavu-core).", true);
    }
    if (event_pending.load()) statement_check(1);
    sleep_seconds(0, 0);
    end_program();
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, fonts_program); }
