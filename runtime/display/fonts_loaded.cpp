// Loaded outline fonts: faces opened and glyphs rendered by decoder children,
// the font statements, measuring, and characters drawn one-bit or anti-aliased.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/code_page.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/program_folder.h"
#include "runtime/core/strings.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/font_decoder.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/platform/decoder_child.h"
#include "runtime/platform/font_lookup.h"

namespace {

// A face's open renders up to 512 glyphs in the child; one glyph is quick.
constexpr uint32_t font_open_wall_ms = 10000;
constexpr uint32_t glyph_wall_ms = 3000;
constexpr uint32_t font_memory_mb = 1024;
constexpr uint32_t font_cpu_seconds = 10;
// Glyphs beyond the code page (Unicode fonts) kept per font.
constexpr size_t extra_glyph_limit = 4096;

// Per loaded font: where its file is, the point size its face opens at, the
// code-page glyphs in both renderings (those the child did not hand over are
// asked for when first drawn) and those of other characters.
// Glyphs too large to come with the font are kept once drawn, up to this much
// across all fonts; past it they are rendered again at each use.
constexpr size_t large_glyphs_limit_bytes = size_t{64} << 20;
size_t LargeGlyphBytes = 0;

struct LoadedFont {
    std::string path;
    uint32_t points = 0;
    std::array<Glyph, 256> solid, shaded;
    std::vector<uint8_t> cells;
    std::map<std::pair<uint32_t, bool>, Glyph> extra;
    size_t large_bytes = 0;  // this font's share of LargeGlyphBytes
    ~LoadedFont() { LargeGlyphBytes -= large_bytes; }
};
std::array<std::unique_ptr<LoadedFont>, font_slot_count> Loaded;

bool loaded(int64_t font) {
    return font >= first_loaded_font && font < font_slot_count && font_slot(uint32_t(font)).outline;
}
bool builtin(int64_t font) { return font == 8 || font == 9 || font == 14 || font == 15 || font == 16 || font == 17; }

bool file_exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

DecoderLimits font_limits(uint32_t wall_ms, uint64_t output_bytes) {
    DecoderLimits limits;
    limits.memory_mb = font_memory_mb;
    limits.cpu_seconds = font_cpu_seconds;
    limits.wall_ms = wall_ms;
    limits.output_bytes = output_bytes;
    return limits;
}

// Renders c in a decoder child; a glyph that is not ok draws nothing.
Glyph render(uint32_t font, uint32_t c, bool one_bit) {
    Glyph g;
    g.rendered = true;
    const LoadedFont* lf = Loaded[font].get();
    const FontSlot& slot = font_slot(font);
    if (!lf) return g;
    const int32_t fd = decoder_open_regular(lf->path.c_str());
    if (fd < 0) return g;
    const uint32_t words[6] = {lf->points, slot.flags, slot.cell_width, slot.cell_height, c, one_bit ? 1u : 0u};
    std::vector<uint8_t> answer;
    const uint64_t most = 64 + uint64_t{font_file_limit_bytes};
    const DecoderOutcome outcome = decoder_child_run(font_glyph_decoder, fd, words, 6, font_limits(glyph_wall_ms, most),
                                                     &answer);
    close(fd);
    if (outcome != DecoderOutcome::done || !font_glyph_answer_read(answer, slot.cell_height, &g)) {
        g = Glyph{};
        g.rendered = true;
    }
    return g;
}

// The glyph of c, from the cache for characters below 256.
const Glyph& glyph(uint32_t font, uint32_t c, bool one_bit, Glyph* scratch) {
    LoadedFont* lf = Loaded[font].get();
    if (!lf) return *scratch;
    Glyph* cached = nullptr;
    if (c < 256) {
        cached = &(one_bit ? lf->solid : lf->shaded)[c];
    } else if (auto it = lf->extra.find({c, one_bit}); it != lf->extra.end()) {
        cached = &it->second;
    }
    if (cached && cached->rendered) return *cached;
    *scratch = render(font, c, one_bit);
    const size_t size = scratch->pixels.size();
    const bool large = size > glyph_cache_limit_bytes;
    if (large && LargeGlyphBytes + size > large_glyphs_limit_bytes) return *scratch;
    if (!cached && lf->extra.size() < extra_glyph_limit) cached = &lf->extra[{c, one_bit}];
    if (!cached) return *scratch;
    if (large) {
        LargeGlyphBytes += size;
        lf->large_bytes += size;
    }
    *cached = std::move(*scratch);
    return *cached;
}

uint8_t channel(uint32_t colour, int shift) { return static_cast<uint8_t>(colour >> shift); }

// Print mode 3 on a 32-bit page: ink and paper mixed by the coverage, each
// value rounded to nearest with halves to the even neighbour.
uint32_t mixed(uint32_t fg, uint32_t bg, uint8_t v) {
    const double t = (255 - v) / 255.0;
    const double fa = channel(fg, 24), ba = channel(bg, 24);
    const double alpha = fa + t * (ba - fa);
    const double ratio = fa == 0 ? 100000 : ba / fa;
    const double m = std::min(ratio * t, 1.0);
    uint32_t out = static_cast<uint32_t>(std::nearbyint(alpha)) << 24;
    for (int shift : {16, 8, 0}) {
        const double fc = channel(fg, shift), bc = channel(bg, shift);
        out |= static_cast<uint32_t>(std::nearbyint(fc + m * (bc - fc))) << shift;
    }
    return out;
}

// The image a program argument names, or the dest image; null after an error.
ImageRec* image_of(int32_t image, bool passed) {
    if (!passed) return dest_image();
    const int32_t handle = image_argument_handle(image);
    return handle ? image_record(handle) : nullptr;
}

bool font_in_use(uint32_t font) {
    for (int32_t h = 1; h < image_handle_end(); ++h)
        if (const ImageRec* r = image_record(h); r && r->font == font) return true;
    return false;
}

void close_slot(uint32_t handle) {
    *font_slot_edit(handle) = FontSlot{};
    Loaded[handle].reset();
}

std::string trimmed_upper(std::string_view s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    std::string out(a == std::string_view::npos ? std::string_view{} : s.substr(a, b - a + 1));
    for (char& ch : out) ch = ascii_upper(ch);
    return out;
}

}  // namespace

std::string font_file_path(std::string_view name) {
    std::string n(name);
    if (n.empty() || n.find('\0') != std::string::npos) return {};
    if (n.find('/') != std::string::npos) return n;
    if (const std::string folder = program_folder(); !folder.empty()) {
        std::string in_folder = folder + (folder.back() == '/' ? "" : "/") + n;
        if (file_exists(in_folder)) return in_folder;
    }
    if (file_exists(n)) return n;
    return font_file_lookup(n);
}

uint32_t open_font_slot(const char* path, double size, uint32_t flags) {
    uint32_t handle = first_loaded_font;
    while (handle < font_slot_count && font_slot(handle).outline) ++handle;
    if (handle >= font_slot_count) return 0;
    const int32_t fd = decoder_open_regular(path);
    if (fd < 0) return 0;
    uint64_t bits = 0;
    std::memcpy(&bits, &size, sizeof bits);
    const uint32_t words[3] = {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), flags};
    // Every code-page glyph twice, held ones at most the cache's size, and the cells.
    const uint64_t most = 64 + 512 * (12 + uint64_t{glyph_cache_limit_bytes}) + cell_glyphs_limit_bytes;
    std::vector<uint8_t> answer;
    const DecoderOutcome outcome = decoder_child_run(font_open_decoder, fd, words, 3,
                                                     font_limits(font_open_wall_ms, most), &answer);
    close(fd);
    if (outcome != DecoderOutcome::done) return 0;
    auto decoded = std::make_unique<DecodedFont>();
    if (!font_open_answer_read(answer, flags, decoded.get())) return 0;
    auto lf = std::make_unique<LoadedFont>();
    // Glyphs asked for later are rendered from the same file, wherever the
    // program's current folder has gone by then.
    char* absolute = realpath(path, nullptr);
    lf->path = absolute ? absolute : path;
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): realpath's result is the C library's
    std::free(absolute);
    lf->points = decoded->points;
    lf->solid = std::move(decoded->solid);
    lf->shaded = std::move(decoded->shaded);
    lf->cells = std::move(decoded->cells);
    Loaded[handle] = std::move(lf);
    FontSlot* slot = font_slot_edit(handle);
    *slot = FontSlot{decoded->cell_width, decoded->cell_height, flags, Loaded[handle].get(),
                     Loaded[handle]->cells.empty() ? nullptr : Loaded[handle]->cells.data()};
    return handle;
}

int32_t load_font(StrDesc* file, double size, StrDesc* options, bool options_passed) {
    const std::string name(str_view(file));
    const std::string words(options_passed ? str_view(options) : std::string_view{});
    str_consume(file);
    str_consume(options);
    if (runtime_error_pending()) return 0;
    if (!(size >= 0.001)) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    if (size >= 1000.5) return 0;
    static constexpr const char* option_words[6] = {"BOLD", "ITALIC", "UNDERLINE", "DONTBLEND", "MONOSPACE", "UNICODE"};
    uint32_t flags = 0;
    if (!words.empty()) {
        size_t start = 0;
        while (start <= words.size()) {
            size_t comma = std::min(words.find(',', start), words.size());
            const std::string word = trimmed_upper(std::string_view(words).substr(start, comma - start));
            int bit = -1;
            for (int i = 0; i < 6; ++i)
                if (word == option_words[i]) bit = i;
            if (bit < 0 || (flags & (1u << bit))) {
                runtime_error(error_illegal_function_call);
                return 0;
            }
            flags |= 1u << bit;
            start = comma + 1;
        }
    }
    const std::string path = font_file_path(name);
    const uint32_t handle = path.empty() ? 0 : open_font_slot(path.c_str(), size, flags);
    return handle ? static_cast<int32_t>(handle) : -1;
}

void free_font(int32_t handle) {
    if (runtime_error_pending()) return;
    if (!loaded(handle)) return runtime_error(error_invalid_handle);
    if (font_in_use(static_cast<uint32_t>(handle))) return runtime_error(error_illegal_function_call);
    close_slot(static_cast<uint32_t>(handle));
}

void set_image_font(int32_t font, int32_t image, bool image_passed) {
    if (runtime_error_pending()) return;
    if (!builtin(font) && !loaded(font)) return runtime_error(error_invalid_handle);
    ImageRec* rec = image_of(image, image_passed);
    if (!rec) return;
    const uint32_t f = static_cast<uint32_t>(font);
    if (rec->is_text && !(font_slot(f).flags & font_monospace)) return runtime_error(error_illegal_function_call);
    if (rec->is_text && (rec->flags & image_is_screen_page)) {
        // Every screen page changes at once, with the refresh held off.
        const bool paused = display_pause();
        for (int32_t n = 0; n < page_count(); ++n)
            if (ImageRec* page = image_record(page_handle(n))) image_set_font(f, *page);
        display_resume(paused);
        display_invalidate();
        return;
    }
    image_set_font(f, *rec);
}

int32_t font_width(int32_t font, bool passed) {
    if (runtime_error_pending()) return 0;
    if (!passed) return dest_image() ? static_cast<int32_t>(font_slot(dest_image()->font).cell_width) : 0;
    if (font != 8 && font != 14 && font != 16 && !loaded(font)) return runtime_error(error_invalid_handle), 0;
    return static_cast<int32_t>(font_slot(static_cast<uint32_t>(font)).cell_width);
}

int32_t font_height(int32_t font, bool passed) {
    if (runtime_error_pending()) return 0;
    if (!passed) return dest_image() ? static_cast<int32_t>(font_slot(dest_image()->font).cell_height) : 0;
    if (font != 8 && font != 14 && font != 16 && !loaded(font)) return runtime_error(error_invalid_handle), 0;
    return static_cast<int32_t>(font_slot(static_cast<uint32_t>(font)).cell_height);
}

int32_t image_font(int32_t image, bool passed) {
    if (runtime_error_pending()) return 0;
    const ImageRec* rec = image_of(image, passed);
    return rec ? static_cast<int32_t>(rec->font) : 0;
}

void set_print_mode(int32_t option, int32_t image, bool passed) {
    if (runtime_error_pending()) return;
    ImageRec* rec = image_of(image, passed);
    if (!rec) return;
    if (option < 1 || option > 3 || (rec->is_text && option != 1)) return runtime_error(error_illegal_function_call);
    static constexpr uint8_t modes[4] = {0, 3, 1, 2};
    rec->print_mode = modes[option];
}

void print_at_pixel(double x, double y, StrDesc* text, int32_t image, uint32_t passed) {
    const std::string bytes(str_view(text));
    str_consume(text);
    if (runtime_error_pending()) return;
    ImageRec* rec = image_of(image, passed & 2);
    if (!rec) return;
    if (rec->is_text) return runtime_error(error_illegal_function_call);
    if (passed & 1) x += rec->gfx.gfx_x, y += rec->gfx.gfx_y;
    rec->gfx.gfx_x = static_cast<float>(x);
    rec->gfx.gfx_y = static_cast<float>(y);
    PixelPoint p{};
    if (!map_point(*rec, x, y, &p)) return;
    const int32_t handle = passed & 2 ? (image < 0 ? -image : page_handle(image)) : dest_image_handle();
    int64_t px = static_cast<int64_t>(p.x);
    const int32_t py = static_cast<int32_t>(std::clamp(p.y, -1e9, 1e9));
    for (unsigned char c : bytes) {
        if (px > INT32_MAX) break;
        px += put_glyph_at_pixel(static_cast<int32_t>(std::max<int64_t>(px, INT32_MIN)), py, c, handle);
    }
}

int32_t text_pixel_width(StrDesc* text, int32_t image, bool passed) {
    const std::string bytes(str_view(text));
    str_consume(text);
    if (runtime_error_pending()) return 0;
    const ImageRec* rec = image_of(image, passed);
    if (!rec) return 0;
    if (rec->is_text) return runtime_error(error_illegal_function_call), 0;
    const FontSlot& slot = font_slot(rec->font);
    if (rec->font < first_loaded_font || slot.cell_width)
        return static_cast<int32_t>(std::min<uint64_t>(uint64_t{slot.cell_width} * bytes.size(), INT32_MAX));
    int64_t sum = 0;
    for (unsigned char c : bytes) {
        const int32_t w = loaded_glyph_width(rec->font, c);
        if (w == 0) return 0;
        sum = std::min<int64_t>(sum + w, INT32_MAX);
    }
    return static_cast<int32_t>(sum);
}

int32_t loaded_glyph_width(uint32_t font, uint32_t c) {
    if (!loaded(font)) return 0;
    if (font_slot(font).cell_width) return static_cast<int32_t>(font_slot(font).cell_width);
    Glyph scratch;
    const Glyph& g = glyph(font, c, true, &scratch);
    return g.ok ? g.width : 0;
}

int32_t loaded_glyph_draw(ImageRec& image, int32_t x, int32_t y, uint32_t c) {
    if (!loaded(image.font)) return 0;
    const FontSlot& slot = font_slot(image.font);
    const bool one_bit = image.bytes_per_pixel != 4 || image.blend_disabled || (slot.flags & font_no_blending);
    Glyph scratch;
    const Glyph& g = glyph(image.font, c, one_bit, &scratch);
    if (!g.ok) return 0;
    const uint8_t mode = image.print_mode;
    const uint32_t fg = image.fg_colour, bg = image.bg_colour;
    const uint32_t fg_alpha = fg >> 24, bg_alpha = bg >> 24;
    for (int32_t gy = 0; gy < g.rows; ++gy) {
        const int64_t py = int64_t{y} + gy;
        if (py < 0 || py >= image.height) continue;
        const uint8_t* src = &g.pixels[static_cast<size_t>(gy) * g.width];
        for (int32_t gx = 0; gx < g.width; ++gx) {
            const int64_t px = int64_t{x} + gx;
            if (px < 0 || px >= image.width) continue;
            const uint8_t v = src[gx];
            const int32_t ix = static_cast<int32_t>(px), iy = static_cast<int32_t>(py);
            if (one_bit) {
                if (v && mode != 2)
                    set_pixel_blend(image, ix, iy, fg);
                else if (!v && mode != 1)
                    set_pixel_blend(image, ix, iy, bg);
            } else if (mode == 1) {
                if (v) set_pixel_blend(image, ix, iy, (fg & 0xFFFFFF) | ((fg_alpha + 1) * v >> 8) << 24);
            } else if (mode == 2) {
                if (v != 255)
                    set_pixel_blend(image, ix, iy, (bg & 0xFFFFFF) | ((bg_alpha + 1) * (255u - v) >> 8) << 24);
            } else {
                set_pixel_blend(image, ix, iy, mixed(fg, bg, v));
            }
        }
    }
    return g.width;
}

void fonts_shutdown() {
    for (uint32_t h = first_loaded_font; h < font_slot_count; ++h)
        if (font_slot(h).outline) close_slot(h);
}
