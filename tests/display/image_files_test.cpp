// Image files: pictures written by the test in PNG, BMP, GIF and JPEG, loaded
// as 32-bit, 256-colour and dest-palette images, and files made to be wrong.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>
#include <SDL/SDL.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display/display_fixture.h"
#include "runtime/core/strings.h"
#include "runtime/display/image_files.h"
#include "runtime/display/images_internal.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, uint32_t(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}
// colour type 2 (RGB) or 6 (RGBA); pixels 0xAARRGGBB.
Bytes png_file(int w, int h, const std::vector<uint32_t>& px, bool alpha) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, ihdr, raw;
    put32(ihdr, w), put32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, uint8_t(alpha ? 6 : 2), 0, 0, 0});
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) {
            uint32_t p = px[size_t(y) * w + x];
            raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
            if (alpha) raw.push_back(uint8_t(p >> 24));
        }
    }
    Bytes z(compressBound(uLong(raw.size())));
    uLongf zlen = uLongf(z.size());
    compress(z.data(), &zlen, raw.data(), uLong(raw.size()));
    z.resize(zlen);
    chunk(png, "IHDR", ihdr), chunk(png, "IDAT", z), chunk(png, "IEND", {});
    return png;
}
// Four colours, index 3 transparent; every code follows a clear code, so the
// code table never grows.
Bytes gif_file(int w, int h, const Bytes& idx, const uint32_t (&pal)[4]) {
    Bytes g = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0xF1, 0, 0};
    for (uint32_t c : pal) g.insert(g.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    g.insert(g.end(),
             {0x21, 0xF9, 4, 1, 0, 0, 3, 0, 0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
              0, 2});
    Bytes data;
    uint32_t acc = 0, bits = 0;
    auto code = [&](uint32_t c) {
        acc |= c << bits, bits += 3;
        while (bits >= 8) data.push_back(uint8_t(acc)), acc >>= 8, bits -= 8;
    };
    for (uint8_t i : idx) code(4), code(i);
    code(5);
    if (bits) data.push_back(uint8_t(acc));
    for (size_t at = 0; at < data.size(); at += 255) {
        size_t n = std::min<size_t>(255, data.size() - at);
        g.push_back(uint8_t(n));
        g.insert(g.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    g.insert(g.end(), {0, 0x3B});
    return g;
}
Bytes jpeg_file(int w, int h, uint32_t colour) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w), c.image_height = JDIMENSION(h), c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    Bytes row;
    for (int x = 0; x < w; ++x) row.insert(row.end(), {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour)});
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes b(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    return b;
}

template <size_t N>
Bytes literal_bytes(const char (&s)[N]) {
    return Bytes(s, s + N - 1);
}

class ImageFiles : public DisplayFixture {
protected:
    std::string write(const char* name, const Bytes& b) {
        std::string path = testing::TempDir() + "morv_" + std::to_string(getpid()) + "_" + name;
        FILE* f = fopen(path.c_str(), "wb");
        if (!b.empty()) fwrite(b.data(), 1, b.size(), f);
        fclose(f);
        return path;
    }
    int32_t load(const std::string& path, int32_t mode = 0, bool passed = false) {
        return load_image(str_from_bytes(path.data(), uint32_t(path.size())), mode, passed);
    }
    static uint32_t at(const ImageRec& r, int x, int y) {
        size_t i = size_t(y) * r.width + x;
        return r.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(r.pixels)[i] : r.pixels[i];
    }
    void dest_mode(int32_t mode) { set_dest(new_image(8, 8, mode, true)); }
    // 4 x 2: opaque red, green, blue, white on top; below three transparent
    // pixels and one more red.
    std::vector<uint32_t> picture = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF,
                                     0x00123456, 0x00000000, 0x00FFFFFF, 0xFFFF0000};
};

TEST_F(ImageFiles, RefusalsAndFilesMadeToBeWrong) {
    std::string rgb = write("rgb.png", png_file(4, 2, picture, false));
    EXPECT_EQ(error_of([&] { load(rgb); }), 5);  // the start-up dest is a text screen
    EXPECT_EQ(error_of([&] { load(rgb, 8, true); }), 5);
    EXPECT_EQ(load(rgb, 256, true), -1);  // true colour has no palette
    EXPECT_EQ(load("", 32, true), -1);
    EXPECT_EQ(load(std::string("a\0b", 3), 32, true), -1);
    EXPECT_EQ(load("/nonexistent/morv.png", 32, true), -1);
    Bytes good = png_file(64, 64, std::vector<uint32_t>(64 * 64, 0xFF336699), false);
    Bytes truncated(good.begin(), good.begin() + long(good.size() / 2));
    Bytes magic = good;
    magic[1] = 'Q';
    Bytes huge = good;  // declared 2 billion pixels square, with a sound checksum
    huge[16] = huge[20] = 0x7F;
    uint32_t crc = uint32_t(crc32(0, &huge[12], 17));
    for (int i = 0; i < 4; ++i) huge[size_t(29 + i)] = uint8_t(crc >> (24 - 8 * i));
    for (const Bytes& bad : {truncated, magic, huge, Bytes{'B', 'M', 1, 2, 3}}) {
        std::string path = write("bad", bad);
        EXPECT_EQ(error_of([&] { EXPECT_EQ(load(path, 32, true), -1); }), 0);
    }
    // Files that crash the picture reader, hang it or make it ask for
    // gigabytes never reach it.
    const struct {
        const char* name;
        Bytes b;
    } hostile[] = {
        {"screen0.gif", literal_bytes("GIF89a\0\0\0\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;")},
        {"frame.gif", literal_bytes("GIF89a\2\0\2\0\0\0\0,\0\0\0\0\x10\0\x10\0\0\2\2D\1\0;")},
        {"row.xpm", literal_bytes("/* XPM */\nstatic char *x[] = {\n\"1 1 1 1\",\n\"a c #FF0000\n\"a\"};\n")},
        {"past.png",
         literal_bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\1\0\0\0\1\x08\2\0\0\0\0\0\0\0\xff\xff\xffIDAT")},
        {"huge.tga", literal_bytes("\0\0\2\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x20\0abcdefgh")},
    };
    for (const auto& h : hostile) {
        std::string path = write(h.name, h.b);
        EXPECT_EQ(error_of([&] { EXPECT_EQ(load(path, 32, true), -1) << h.name; }), 0);
    }
}

TEST_F(ImageFiles, TrueColourAndOwnPalette) {
    ImageRec* r = image_record(-load(write("rgba.png", png_file(4, 2, picture, true)), 32, true));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->mode, 32);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(at(*r, i % 4, i / 4), picture[size_t(i)]) << i;
    r = image_record(-load(write("rgb.png", png_file(4, 2, picture, false)), 32, true));
    ASSERT_TRUE(r);
    EXPECT_EQ(at(*r, 0, 1), 0xFF123456u);  // no alpha channel: opaque
    r = image_record(-load(write("a.jpg", jpeg_file(16, 8, 0x3080C0)), 32, true));
    ASSERT_TRUE(r);
    uint32_t p = at(*r, 5, 5);
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(int(p >> 16 & 0xFF), 0x30, 4);
    EXPECT_NEAR(int(p & 0xFF), 0xC0, 4);

    // An 8-bit BMP keeps its indices and palette.
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 3, 2, 8, 0, 0, 0, 0);
    SDL_Color cols[3] = {{10, 20, 30, 0}, {200, 100, 50, 0}, {1, 2, 3, 0}};
    SDL_SetColors(s, cols, 0, 3);
    s->format->palette->ncolors = 3;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) static_cast<uint8_t*>(s->pixels)[y * s->pitch + x] = uint8_t((x + y) % 3);
    std::string bmp = write("p.bmp", {});
    SDL_SaveBMP(s, bmp.c_str());
    SDL_FreeSurface(s);
    r = image_record(-load(bmp, 256, true));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->mode, 256);
    EXPECT_EQ(at(*r, 2, 1), 0u);
    EXPECT_EQ(at(*r, 1, 1), 2u);
    EXPECT_EQ(r->palette[1], 0xFFC86432u);
    EXPECT_EQ(r->transparent_colour, -1);

    // A GIF's transparent index stays the transparent colour.
    uint32_t pal[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    r = image_record(-load(write("t.gif", gif_file(4, 2, {0, 1, 2, 3, 3, 0, 3, 1}, pal)), 256, true));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->transparent_colour, 3);
    EXPECT_EQ(at(*r, 0, 1), 3u);
    EXPECT_EQ(r->palette[2], 0xFF0000FFu);
}

// On a 16-colour dest every colour goes to the nearest of the 16; the least
// used entry becomes transparent and no opaque pixel keeps it.
TEST_F(ImageFiles, TransparencyOnASixteenColourDest) {
    dest_mode(12);
    ImageRec* r = image_record(-load(write("rgba.png", png_file(4, 2, picture, true))));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->mode, 12);
    const int key = r->transparent_colour;
    // Red twice, green, blue and white once: of the unused entries the
    // highest is chosen.
    EXPECT_EQ(key, 14);  // white maps to 15, so 14 (yellow) is the highest unused
    for (int x : {0, 1, 2}) EXPECT_EQ(at(*r, x, 1), uint32_t(key));
    EXPECT_EQ(at(*r, 0, 0), at(*r, 3, 1));
    EXPECT_EQ(at(*r, 0, 0), 4u);  // 0xAA0000 is nearer pure red than 0xFF5555
    EXPECT_EQ(at(*r, 3, 0), 15u);

    // A GIF on the same dest: its transparent index becomes the dest's key.
    uint32_t pal[4] = {0xFFFF55, 0x00FF00, 0x0000FF, 0x123456};
    r = image_record(-load(write("t.gif", gif_file(4, 2, {0, 1, 2, 3, 3, 0, 3, 1}, pal))));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->transparent_colour, 15);
    EXPECT_EQ(at(*r, 0, 0), 14u);  // yellow is still nearest for the opaque pixel
    EXPECT_EQ(at(*r, 0, 1), 15u);
    EXPECT_EQ(at(*r, 1, 1), 14u);
}

}  // namespace
