// Picture files through SDL_image the way the image-loading statement reads
// them: IMG_Load on the bytes, a palette file's indices checked against its
// colour count, the surface converted to the 32-bit format (red 0x00FF0000,
// green 0x0000FF00, blue 0x000000FF, alpha 0xFF000000), every converted pixel
// read and mapped to the nearest colour of a 16-colour palette, and the first
// transparent pixel found. Whatever the bytes, no read leaves a surface.
#include <SDL.h>
#include <SDL_image.h>
#include <cstdint>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

namespace {

const uint32_t Palette16[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
                                0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

int nearest(uint32_t rgb) {
    int best = 0, best_distance = 1000;
    for (int i = 0; i < 16; ++i) {
        int d = 0;
        for (int shift : {16, 8, 0}) d += std::abs(int(rgb >> shift & 255) - int(Palette16[i] >> shift & 255));
        if (d < best_distance) best = i, best_distance = d;
    }
    return best;
}

// Faults of libSDL_image 1.2.12 itself, found here: its GIF reader writes
// through null pointers on GIF screens and frames it cannot make a surface
// for (zero or odd sizes: 44-byte files do it, in three different ways
// within minutes); its XPM reader crashes on a picture row that lacks its
// closing quote; and its PNG reader never ends on a file whose chunks run
// past its end (reads there leave libpng's buffer as it was, so the same
// chunk comes back for ever). The image loader must keep such files from
// IMG_Load; until it exists, these checks stand in for its own so that other
// faults stay findable.
// True when the chunks of a PNG file do not reach IEND inside it.
bool png_chunks_past_end(const uint8_t* p, size_t n) {
    if (n < 8 || std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) != 0) return false;
    for (uint64_t at = 8; at + 12 <= n;) {
        const uint64_t length = uint64_t(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3];
        if (!std::memcmp(p + at + 4, "IEND", 4)) return false;
        at += 12 + length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SDL_Surface* format32 = [] {
        SDL_Init(0);
        IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP);
        return SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    }();
    if (size >= 3 && std::memcmp(data, "GIF", 3) == 0) return 0;
    if (size >= 9 && std::memcmp(data, "/* XPM */", 9) == 0) return 0;
    if (png_chunks_past_end(data, size)) return 0;
    SDL_Surface* picture = IMG_Load_RW(SDL_RWFromConstMem(data, static_cast<int>(size)), 1);
    // A file named *.tga is read as one: TGA has no signature to be told by.
    // SDL_image makes the surface its header announces before reading a pixel
    // (1.4 GB for a 50-byte file): the loader must check that size first, as
    // this does.
    const bool tga_small = size >= 18 && uint64_t(data[12] | data[13] << 8) * (data[14] | data[15] << 8) <= (4u << 20);
    if (!picture && tga_small) picture = IMG_LoadTyped_RW(SDL_RWFromConstMem(data, static_cast<int>(size)), 1, const_cast<char*>("TGA"));
    if (!picture) return 0;
    // A header of a few bytes may announce hundreds of megabytes of pixels (a
    // 52-byte TGA did); reading them all is the loader's cost, not a fault.
    if (uint64_t(picture->w) * uint64_t(picture->h) > (4u << 20)) {
        SDL_FreeSurface(picture);
        return 0;
    }
    uint32_t uses[256] = {};
    const SDL_Palette* palette = picture->format->BytesPerPixel == 1 ? picture->format->palette : nullptr;
    if (palette && SDL_LockSurface(picture) == 0) {
        for (int y = 0; y < picture->h; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(picture->pixels) + y * picture->pitch;
            for (int x = 0; x < picture->w; ++x) uses[row[x]] += row[x] < palette->ncolors;
        }
        SDL_UnlockSurface(picture);
    }
    if (SDL_Surface* converted = SDL_ConvertSurface(picture, format32->format, SDL_SWSURFACE)) {
        int transparent = -1;
        if (SDL_LockSurface(converted) == 0) {
            for (int y = 0; y < converted->h; ++y) {
                const uint32_t* row = reinterpret_cast<const uint32_t*>(
                    static_cast<const uint8_t*>(converted->pixels) + y * converted->pitch);
                for (int x = 0; x < converted->w; ++x) {
                    if ((row[x] >> 24) == 0 && transparent < 0) transparent = y * converted->w + x;
                    ++uses[nearest(row[x] & 0xFFFFFF)];
                }
            }
            SDL_UnlockSurface(converted);
        }
        SDL_FreeSurface(converted);
    }
    SDL_FreeSurface(picture);
    return 0;
}
