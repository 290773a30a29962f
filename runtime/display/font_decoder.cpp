// The font decoders: in the child, the face opened at the pixel height asked
// for (calibrated at 1000 points, then one point either way) and its glyphs
// rendered; the answers they write and the parent's reading of them.
#include "runtime/display/font_decoder.h"

#include <SDL/SDL.h>
#include <SDL/SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "runtime/core/code_page.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"

namespace {

constexpr uint32_t open_magic = 0x544E464D;  // "MFNT"
constexpr uint32_t glyph_magic = 0x5947464D;  // "MFGY"
constexpr double calibration_points = 1000;
// Faces taller than this are not rendered ahead: their glyphs are asked for
// one by one (most would not fit the cache anyway).
constexpr uint32_t render_ahead_height_limit = 512;

// Statuses of a refused font (the child's exit status).
enum : int { unreadable = 2, unopenable = 3, no_height = 4, not_monospace = 5, unwritable = 6 };

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

// The font file, held for the opens and renders of one child.
struct FontFile {
    std::vector<uint8_t> bytes;
    TTF_Font* open(double points) const {
        if (!(points >= 1 && points <= 1e6)) return nullptr;
        SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        return rw ? TTF_OpenFontRW(rw, 1, static_cast<int>(points)) : nullptr;
    }
};

struct FontClose {
    void operator()(TTF_Font* f) const { TTF_CloseFont(f); }
};
using Font = std::unique_ptr<TTF_Font, FontClose>;

// Halves go to the even neighbour, as every rounding of the runtime does.
int rounded(double v) { return static_cast<int>(std::nearbyint(v)); }

uint16_t unicode_of(uint32_t flags, uint32_t c) {
    return flags & font_unicode ? static_cast<uint16_t>(c) : codepage_to_unicode(static_cast<uint8_t>(c));
}

// Renders c: one-bit (ink 1) or coverage bytes; characters beyond 16 bits go
// as a surrogate-free four-byte UTF-8 sequence.
Glyph render(TTF_Font* f, uint32_t flags, uint32_t cell_width, uint32_t cell_height, uint32_t c, bool one_bit) {
    Glyph g;
    g.rendered = true;
    const SDL_Color white{255, 255, 255, 0};
    Surface s;
    if ((flags & font_unicode) && c > 0xFFFF) {
        if (c > 0x10FFFF) return g;
        std::string utf8;
        utf8_append(utf8, c);
        s.reset(one_bit ? TTF_RenderUTF8_Solid(f, utf8.c_str(), white)
                        : TTF_RenderUTF8_Shaded(f, utf8.c_str(), white, white));
    } else {
        const Uint16 text[2] = {unicode_of(flags, c), 0};
        s.reset(one_bit ? TTF_RenderUNICODE_Solid(f, text, white) : TTF_RenderUNICODE_Shaded(f, text, white, white));
    }
    if (!s || !s->format || s->format->BytesPerPixel != 1 || !s->pixels) return g;
    g.width = cell_width ? static_cast<int32_t>(cell_width) : s->w;
    g.rows = std::clamp(s->h - 1, 0, static_cast<int32_t>(cell_height));
    if (uint64_t(g.width) * uint64_t(g.rows) > font_file_limit_bytes) return g;
    g.ok = true;
    const int32_t copy_w = std::min(g.width, s->w);
    g.pixels.assign(static_cast<size_t>(g.width) * g.rows, 0);
    if (SDL_MUSTLOCK(s.get()) && SDL_LockSurface(s.get()) < 0) return g;
    for (int32_t y = 0; y < g.rows; ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(s->pixels) + static_cast<size_t>(y + 1) * s->pitch;
        std::copy_n(src, copy_w, &g.pixels[static_cast<size_t>(y) * g.width]);
    }
    if (SDL_MUSTLOCK(s.get())) SDL_UnlockSurface(s.get());
    return g;
}

// A glyph record: ok, width, rows, then the pixels.
bool write_glyph(int fd, const Glyph& g, bool with_pixels) {
    const int32_t head[3] = {g.ok && with_pixels ? 1 : (g.ok ? 2 : 0), g.width, g.rows};
    return decoder_write(fd, head, sizeof head) &&
        (!(g.ok && with_pixels) || decoder_write(fd, g.pixels.data(), g.pixels.size()));
}

bool read_glyph(const uint8_t*& at, const uint8_t* end, uint32_t cell_height, Glyph* g) {
    int32_t head[3];
    if (end - at < static_cast<ptrdiff_t>(sizeof head)) return false;
    std::memcpy(head, at, sizeof head);
    at += sizeof head;
    if (head[0] < 0 || head[0] > 2 || head[1] < 0 || head[2] < 0 || uint32_t(head[2]) > cell_height) return false;
    if (head[0] == 2) return true;  // drawable but too large to hand over: asked for when drawn
    g->rendered = true;
    g->ok = head[0] == 1;
    if (!g->ok) return true;
    const uint64_t n = uint64_t(uint32_t(head[1])) * uint32_t(head[2]);
    if (n > uint64_t(end - at)) return false;
    g->width = head[1];
    g->rows = head[2];
    g->pixels.assign(at, at + n);
    at += n;
    return true;
}

double size_of(const DecoderJob& job) {
    uint64_t bits = uint64_t{job.words[1]} << 32 | job.words[0];
    double size = 0;
    std::memcpy(&size, &bits, sizeof size);
    return size;
}

int open_font(const DecoderJob& job) {
    if (job.word_count < 3) return unreadable;
    const double size = size_of(job);
    const uint32_t flags = job.words[2];
    FontFile file;
    if (!decoder_read_input(job.input_fd, font_file_limit_bytes, &file.bytes) || file.bytes.empty()) return unreadable;
    if (TTF_Init() < 0) return unopenable;
    Font f;
    int points = 0;
    uint32_t cell_height = 0;
    if (size >= 1) {
        const int target = rounded(size) + 2;
        f.reset(file.open(calibration_points));
        if (!f) return unopenable;
        const int calibration_height = TTF_FontHeight(f.get());
        f.reset();
        if (calibration_height < 1) return no_height;
        points = rounded(calibration_points / calibration_height * target);
        f.reset(file.open(points));
        if (f && TTF_FontHeight(f.get()) > target) f.reset(file.open(--points));
        if (f && TTF_FontHeight(f.get()) < target) f.reset(file.open(++points));
        if (!f) return unopenable;
        // A face of no height would divide by zero in rendering.
        if (TTF_FontHeight(f.get()) < 1) return no_height;
        cell_height = static_cast<uint32_t>(target - 2);
    } else {
        points = rounded(size * 1000);
        f.reset(file.open(points));
        if (!f) return unopenable;
        if (TTF_FontHeight(f.get()) - 2 < 1) return no_height;
        cell_height = static_cast<uint32_t>(TTF_FontHeight(f.get()) - 2);
    }
    TTF_SetFontStyle(f.get(), static_cast<int>(flags & 7));
    uint32_t cell_width = 0;
    if (flags & font_monospace) {
        const Uint16 space[2] = {0x20, 0};
        Surface s(TTF_FontFaceIsFixedWidth(f.get())
                      ? TTF_RenderUNICODE_Solid(f.get(), space, SDL_Color{255, 255, 255, 0})
                      : nullptr);
        if (!s || s->w < 1) return not_monospace;
        cell_width = static_cast<uint32_t>(s->w);
    }
    const bool ahead = cell_height <= render_ahead_height_limit;
    const size_t cell = size_t{cell_width} * cell_height;
    const bool cells = cell_width && cell * 256 <= cell_glyphs_limit_bytes;
    const uint32_t header[6] = {open_magic, static_cast<uint32_t>(points), cell_height, cell_width, ahead, cells};
    if (!decoder_write(job.output_fd, header, sizeof header)) return unwritable;
    std::vector<uint8_t> cell_glyphs(cells ? cell * 256 : 0);
    std::array<Glyph, 256> solid;
    for (int pass = 0; pass < 2; ++pass)
        for (uint32_t c = 0; c < 256; ++c) {
            const bool one_bit = pass == 0;
            if (!ahead && !(cells && one_bit)) continue;
            Glyph g = render(f.get(), flags, cell_width, cell_height, c, one_bit);
            if (ahead && !write_glyph(job.output_fd, g, g.pixels.size() <= glyph_cache_limit_bytes)) return unwritable;
            if (!cells || !one_bit || !g.ok) continue;
            for (int32_t y = 0; y < g.rows; ++y)
                for (uint32_t x = 0; x < cell_width && x < uint32_t(g.width); ++x)
                    if (g.pixels[size_t(y) * g.width + x]) cell_glyphs[c * cell + size_t(y) * cell_width + x] = 255;
        }
    if (cells && !decoder_write(job.output_fd, cell_glyphs.data(), cell_glyphs.size())) return unwritable;
    return 0;
}

int render_glyph(const DecoderJob& job) {
    if (job.word_count < 6) return unreadable;
    FontFile file;
    if (!decoder_read_input(job.input_fd, font_file_limit_bytes, &file.bytes) || file.bytes.empty()) return unreadable;
    if (TTF_Init() < 0) return unopenable;
    Font f(file.open(job.words[0]));
    if (!f) return unopenable;
    if (TTF_FontHeight(f.get()) < 1) return no_height;
    const uint32_t flags = job.words[1];
    TTF_SetFontStyle(f.get(), static_cast<int>(flags & 7));
    const Glyph g = render(f.get(), flags, job.words[2], job.words[3], job.words[4], job.words[5] != 0);
    return decoder_write(job.output_fd, &glyph_magic, 4) && write_glyph(job.output_fd, g, true) ? 0 : unwritable;
}

}  // namespace

DECODER_CHILD_ENTRY(font_open_decoder, "font-open", open_font);
DECODER_CHILD_ENTRY(font_glyph_decoder, "font-glyph", render_glyph);

bool font_open_answer_read(const std::vector<uint8_t>& answer, uint32_t flags, DecodedFont* font) {
    uint32_t header[6];
    if (answer.size() < sizeof header) return false;
    std::memcpy(header, answer.data(), sizeof header);
    const uint32_t cell_height = header[2], cell_width = header[3];
    const bool ahead = header[4], cells = header[5];
    if (header[0] != open_magic || header[1] < 1 || cell_height < 1 || cell_height > 1u << 20 || header[4] > 1 ||
        header[5] > 1 || (!(flags & font_monospace) && (cell_width || cells)) ||
        ((flags & font_monospace) && cell_width < 1))
        return false;
    const size_t cell = size_t{cell_width} * cell_height;
    if (cells && (cell_width > 1u << 20 || cell * 256 > cell_glyphs_limit_bytes)) return false;
    font->points = header[1];
    font->cell_height = cell_height;
    font->cell_width = cell_width;
    const uint8_t* at = answer.data() + sizeof header;
    const uint8_t* end = answer.data() + answer.size();
    for (int pass = 0; pass < 2 && ahead; ++pass)
        for (Glyph& g : pass == 0 ? font->solid : font->shaded)
            if (!read_glyph(at, end, cell_height, &g) || g.pixels.size() > glyph_cache_limit_bytes) return false;
    if (cells) {
        if (size_t(end - at) != cell * 256) return false;
        font->cells.assign(at, end);
        at = end;
    }
    return at == end;
}

bool font_glyph_answer_read(const std::vector<uint8_t>& answer, uint32_t cell_height, Glyph* glyph) {
    if (answer.size() < 4 || std::memcmp(answer.data(), &glyph_magic, 4) != 0) return false;
    const uint8_t* at = answer.data() + 4;
    const uint8_t* end = answer.data() + answer.size();
    Glyph g;
    if (!read_glyph(at, end, cell_height, &g) || at != end || !g.rendered) return false;
    *glyph = std::move(g);
    return true;
}
