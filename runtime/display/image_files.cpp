// Image files: the picture read by SDL_image, converted to 32-bit colour or
// mapped onto a palette, with the file's transparency carried over.
#include "runtime/display/image_files.h"
#include "runtime/display/image_files_internal.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/strings.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/picture_guard.h"

namespace {

constexpr int error_illegal_call = 5;
constexpr uint32_t opaque_alpha = 0xFF000000;

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

void consume(StrDesc* s) {
    if (s && s->is_temporary) str_free(s);
}

bool has_palette(const SDL_Surface* s) { return s->format->BytesPerPixel == 1 && s->format->palette; }

// The picture as 0xAARRGGBB pixels, width x height, rows packed. Colour-keyed
// pixels come out with alpha 0 whatever the conversion made of the key.
bool pixels_32(SDL_Surface* file, std::vector<uint32_t>* out) {
    SDL_PixelFormat format{};
    format.BitsPerPixel = 32;
    format.BytesPerPixel = 4;
    format.Rmask = 0x00FF0000;
    format.Gmask = 0x0000FF00;
    format.Bmask = 0x000000FF;
    format.Amask = 0xFF000000;
    format.Rshift = 16;
    format.Gshift = 8;
    format.Bshift = 0;
    format.Ashift = 24;
    format.alpha = 255;
    Surface converted(SDL_ConvertSurface(file, &format, SDL_SWSURFACE));
    if (!converted || converted->format->BytesPerPixel != 4) return false;
    const int w = file->w, h = file->h;
    out->resize(static_cast<size_t>(w) * h);
    const bool keyed = (file->flags & SDL_SRCCOLORKEY) != 0;
    const bool keyed_palette = keyed && has_palette(file);
    if (SDL_MUSTLOCK(converted.get()) && SDL_LockSurface(converted.get()) < 0) return false;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(converted->pixels) + static_cast<size_t>(y) * converted->pitch;
        const uint8_t* src = static_cast<const uint8_t*>(file->pixels) + static_cast<size_t>(y) * file->pitch;
        uint32_t* dst = out->data() + static_cast<size_t>(y) * w;
        std::memcpy(dst, row, static_cast<size_t>(w) * 4);
        if (!(file->flags & SDL_SRCALPHA) && !file->format->Amask && !keyed_palette)
            for (int x = 0; x < w; ++x) dst[x] |= opaque_alpha;
        if (keyed_palette)
            for (int x = 0; x < w; ++x)
                dst[x] = src[x] == file->format->colorkey ? dst[x] & 0x00FFFFFF : dst[x] | opaque_alpha;
    }
    if (SDL_MUSTLOCK(converted.get())) SDL_UnlockSurface(converted.get());
    return true;
}

// Nearest entry of `palette` among 0..last, skipping `excluded`: distance is
// the sum of the channel differences, ties go to the lowest index.
int nearest_entry(const uint32_t* palette, uint32_t last, uint32_t colour, int excluded) {
    const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    int best = 0, best_distance = 1000;
    for (uint32_t i = 0; i <= last && i < 256; ++i) {
        if (static_cast<int>(i) == excluded) continue;
        const uint32_t p = page_load32(&palette[i]);
        const int d = std::abs(r - static_cast<int>((p >> 16) & 0xFF)) +
                      std::abs(g - static_cast<int>((p >> 8) & 0xFF)) + std::abs(b - static_cast<int>(p & 0xFF));
        if (d < best_distance) best_distance = d, best = static_cast<int>(i);
    }
    return best;
}

// The entry used least among 0..last; ties go to the highest index.
int least_used(const std::array<uint32_t, 256>& uses, uint32_t last) {
    int best = 0;
    for (uint32_t i = 0; i <= last && i < 256; ++i)
        if (uses[i] <= uses[best]) best = static_cast<int>(i);
    return best;
}

// A new image of the file's size in `mode`; with `palette` it takes that
// palette and no transparent colour.
ImageRec* create_image(int w, int h, int32_t mode, const uint32_t* palette, int32_t* handle) {
    *handle = image_create(w, h, mode);
    ImageRec* rec = *handle ? image_record(*handle) : nullptr;
    if (!rec) return nullptr;
    if (palette && rec->palette) page_write(rec->palette, palette, 256 * sizeof(uint32_t));
    rec->transparent_colour = -1;
    return rec;
}

int32_t load_32(SDL_Surface* file) {
    std::vector<uint32_t> pixels;
    if (!pixels_32(file, &pixels)) return 0;
    int32_t handle = 0;
    ImageRec* rec = create_image(file->w, file->h, 32, nullptr, &handle);
    if (!rec) return 0;
    page_write(rec->pixels, pixels.data(), pixels.size() * 4);
    return handle;
}

// A true-colour picture on the dest's palette.
int32_t load_mapped(SDL_Surface* file, const ImageRec& dest) {
    std::vector<uint32_t> pixels;
    if (!pixels_32(file, &pixels)) return 0;
    int32_t handle = 0;
    ImageRec* rec = create_image(file->w, file->h, dest.mode, dest.palette, &handle);
    if (!rec) return 0;
    std::vector<uint8_t> indices(pixels.size());
    std::array<uint32_t, 256> uses{};
    bool transparent = false;
    auto map_all = [&](int excluded) {
        // Pictures repeat colours along a row: the last answer is kept.
        uint32_t last_colour = 0;
        int last_index = -1;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const uint32_t p = pixels[i];
            if (!(p & opaque_alpha)) {
                transparent = true;
                indices[i] = static_cast<uint8_t>(excluded < 0 ? 0 : excluded);
                continue;
            }
            if (last_index < 0 || (p & 0xFFFFFF) != last_colour) {
                last_colour = p & 0xFFFFFF;
                last_index = nearest_entry(rec->palette, rec->colour_mask, last_colour, excluded);
            }
            indices[i] = static_cast<uint8_t>(last_index);
            ++uses[static_cast<size_t>(last_index)];
        }
    };
    map_all(-1);
    if (transparent) {
        const int key = least_used(uses, rec->colour_mask);
        rec->transparent_colour = key;
        map_all(key);
    }
    page_write(rec->pixels, indices.data(), indices.size());
    return handle;
}

// A palette picture: as a 256-colour image with its own palette, or on the
// dest's palette (`mode` of the dest, `dest` given).
int32_t load_palette_file(SDL_Surface* file, int32_t mode, const ImageRec* dest) {
    std::vector<uint32_t> converted;
    if (!pixels_32(file, &converted)) return 0;
    const SDL_Palette* fp = file->format->palette;
    const int colours = fp->ncolors < 0 ? 0 : (fp->ncolors > 256 ? 256 : fp->ncolors);
    const int w = file->w, h = file->h;
    if (SDL_MUSTLOCK(file) && SDL_LockSurface(file) < 0) return 0;
    std::vector<uint8_t> indices(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        std::memcpy(&indices[static_cast<size_t>(y) * w],
                    static_cast<const uint8_t*>(file->pixels) + static_cast<size_t>(y) * file->pitch,
                    static_cast<size_t>(w));
    if (SDL_MUSTLOCK(file)) SDL_UnlockSurface(file);
    int key = -1;
    for (size_t i = 0; i < indices.size() && key < 0; ++i)
        if (!(converted[i] & opaque_alpha) && indices[i] < colours) key = indices[i];
    int32_t handle = 0;
    ImageRec* rec = create_image(w, h, dest ? mode : 256, dest ? dest->palette : nullptr, &handle);
    if (!rec) return 0;
    if (!dest) {
        for (int i = 0; i < 256; ++i) {
            const SDL_Color& c = fp->colors[i < colours ? i : 0];
            const uint32_t entry = i < colours ? opaque_alpha | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b
                                               : opaque_alpha;
            page_store32(&rec->palette[i], entry);
        }
        rec->transparent_colour = key;
        page_write(rec->pixels, indices.data(), indices.size());
        return handle;
    }
    std::array<uint32_t, 256> uses{};
    std::array<uint8_t, 256> map{};
    auto map_palette = [&](int excluded) {
        for (int i = 0; i < colours; ++i) {
            const SDL_Color& c = fp->colors[i];
            const uint32_t colour = uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
            map[static_cast<size_t>(i)] =
                static_cast<uint8_t>(nearest_entry(rec->palette, rec->colour_mask, colour, excluded));
        }
    };
    map_palette(-1);
    std::vector<uint8_t> out(indices.size());
    bool transparent = false;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (key >= 0 && indices[i] == key) {
            transparent = true;
            continue;
        }
        out[i] = map[indices[i]];
        ++uses[out[i]];
    }
    if (transparent) {
        const int dest_key = least_used(uses, rec->colour_mask);
        rec->transparent_colour = dest_key;
        map_palette(dest_key);
        for (size_t i = 0; i < indices.size(); ++i)
            out[i] = indices[i] == key ? static_cast<uint8_t>(dest_key) : map[indices[i]];
    }
    page_write(rec->pixels, out.data(), out.size());
    return handle;
}

}  // namespace

int32_t load_image_file(const char* path, int32_t wanted_mode) {
    Surface file(picture_load_guarded(path));
    if (!file || file->w < 1 || file->h < 1 || !file->pixels) return 0;
    const ImageRec* dest = dest_image();
    const bool palette_file = has_palette(file.get());
    if (wanted_mode == -1 && dest && dest->bytes_per_pixel == 1 && dest->palette)
        return palette_file ? load_palette_file(file.get(), dest->mode, dest) : load_mapped(file.get(), *dest);
    if (wanted_mode != 256) return load_32(file.get());
    if (!palette_file) return 0;
    return load_palette_file(file.get(), 256, nullptr);
}

int32_t load_image(StrDesc* file, int32_t mode, bool mode_passed) {
    if (error_code.load(std::memory_order_relaxed)) {
        consume(file);
        return 0;
    }
    const ImageRec* dest = dest_image();
    if ((!mode_passed && (!dest || dest->is_text)) || (mode_passed && mode != 32 && mode != 256)) {
        consume(file);
        runtime_error(error_illegal_call);
        return 0;
    }
    const std::string name(str_view(file));
    consume(file);
    // A zero byte inside the name would open some other file.
    if (name.empty() || name.find('\0') != std::string::npos) return -1;
    const int32_t handle = load_image_file(name.c_str(), mode_passed ? mode : -1);
    return handle ? -handle : -1;
}
