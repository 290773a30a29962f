// Build tool: writes the window icon as a PNG of a given size, for the desktop's
// icon theme, so the installed icon is the very picture the window shows.
//     icon_png SIZE OUT.png
// SIZE is a whole multiple of the icon's own size; each pixel becomes a square
// block, which keeps the pixel picture sharp.
#include <SDL.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/display/icon.h"

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void put_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put_u32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_u32(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

// An 8-bit RGBA PNG, rows unfiltered, from pixels in RGBA byte order.
bool png_encode(const std::vector<uint8_t>& rgba, int size, std::vector<uint8_t>& out) {
    std::vector<uint8_t> raw;
    raw.reserve(size_t(size) * (size * 4 + 1));
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgba.begin() + size_t(y) * size * 4, rgba.begin() + size_t(y + 1) * size * 4);
    }
    uLongf packed_size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), uLong(raw.size()), 9) != Z_OK) return false;
    packed.resize(packed_size);

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.assign(signature, signature + 8);
    std::vector<uint8_t> header;
    put_u32(header, uint32_t(size));
    put_u32(header, uint32_t(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", packed);
    put_chunk(out, "IEND", {});
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int size = argc == 3 ? std::atoi(argv[1]) : 0;
    SDL_RWops* rw = SDL_RWFromConstMem(window_icon_bmp(), int(window_icon_bmp_size()));
    SDL_Surface* icon = rw ? SDL_LoadBMP_RW(rw, 1) : nullptr;
    if (!icon) {
        std::fprintf(stderr, "icon_png: the window icon does not load: %s\n", SDL_GetError());
        return 1;
    }
    if (size <= 0 || icon->w != icon->h || size % icon->w != 0) {
        std::fprintf(stderr, "usage: icon_png SIZE OUT.png (SIZE a multiple of %d)\n", icon->w);
        return 2;
    }
    // The window gets the icon without a mask, so every pixel is opaque there too.
    int scale = size / icon->w;
    std::vector<uint8_t> rgba(size_t(size) * size * 4);
    const int bytes_per_pixel = icon->format->BytesPerPixel;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(icon->pixels) + (y / scale) * icon->pitch +
                (x / scale) * bytes_per_pixel;
            uint32_t value = 0;
            for (int b = 0; b < bytes_per_pixel; ++b) value |= uint32_t(p[b]) << (8 * b);
            uint8_t* d = &rgba[(size_t(y) * size + x) * 4];
            SDL_GetRGB(value, icon->format, &d[0], &d[1], &d[2]);
            d[3] = 255;
        }
    SDL_FreeSurface(icon);
    SDL_Quit();

    std::vector<uint8_t> png;
    FILE* f = std::fopen(argv[2], "wb");
    bool ok = f && png_encode(rgba, size, png) && std::fwrite(png.data(), 1, png.size(), f) == png.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "icon_png: cannot write %s\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
