// Font files through SDL_ttf the way a loadable font is opened and drawn: the
// first byte picks the pixel size and the style bits, the next two a
// character, the rest is the file. A face that opens is measured, asked
// whether it is of fixed width, and its character rendered one-bit and
// anti-aliased; every rendered row is read. No read leaves a surface.
#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdint>
#include <initializer_list>

namespace {

uint32_t ink(const SDL_Surface* s) {
    uint32_t sum = 0;
    if (!s) return 0;
    for (int y = 0; y < s->h; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(s->pixels) + y * s->pitch;
        for (int x = 0; x < s->w; ++x) sum += row[x];
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = SDL_Init(0) == 0 && TTF_Init() == 0;
    if (!ready || size < 3) return 0;
    const int point_size = 4 + data[0] % 61;
    const Uint16 text[2] = {static_cast<Uint16>(data[1] | data[2] << 8), 0};
    // SDL_ttf takes a null source for a font (TTF_OpenFont checks its file first).
    SDL_RWops* rw = SDL_RWFromConstMem(data + 3, static_cast<int>(size - 3));
    if (!rw) return 0;
    TTF_Font* font = TTF_OpenFontRW(rw, 1, point_size);
    if (!font) return 0;
    // A face of no height makes SDL_ttf's rendering divide by zero (a 390-byte
    // font with a zero ascender and descender did): the loader must refuse it,
    // as its own size correction divides by that height too.
    if (TTF_FontHeight(font) <= 0) {
        TTF_CloseFont(font);
        return 0;
    }
    TTF_SetFontStyle(font, data[0] >> 5 & 7);
    int w = 0, h = 0;
    volatile uint32_t seen = static_cast<uint32_t>(TTF_FontHeight(font) + TTF_FontFaceIsFixedWidth(font));
    TTF_SizeUNICODE(font, text, &w, &h);
    const SDL_Color white = {255, 255, 255, 0}, black = {0, 0, 0, 0};
    for (SDL_Surface* s : {TTF_RenderUNICODE_Solid(font, text, white), TTF_RenderUNICODE_Shaded(font, text, white, black)}) {
        seen = seen + ink(s);
        SDL_FreeSurface(s);
    }
    TTF_CloseFont(font);
    return 0;
}
