// The picture decoder: in the child, the file read, looked over and given to
// SDL_image, and the surface converted to 32-bit colour; the answer it writes
// and the parent's reading of it.
#include "runtime/display/picture_decoder.h"

#include <SDL/SDL.h>
#include <SDL/SDL_image.h>

#include <cstring>
#include <memory>

#include "runtime/display/picture_guard.h"

namespace {

constexpr uint32_t answer_magic = 0x4349504D;  // "MPIC"
constexpr uint32_t opaque_alpha = 0xFF000000;
constexpr size_t header_bytes = 16, palette_bytes = 256 * 4;
constexpr uint32_t palette_mark = 0x10000;  // in the header's last word, beside the colour count

// Statuses of a refused file (the child's exit status).
enum : int { unreadable = 2, guarded = 3, undecodable = 4, too_large = 5, unconvertible = 6, unwritable = 7 };

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

bool has_palette(const SDL_Surface* s) { return s->format->BytesPerPixel == 1 && s->format->palette; }

// The picture converted to 0xAARRGGBB pixels in place of the file's format.
// Colour-keyed pixels come out with alpha 0 whatever the conversion made of
// the key; pictures without alpha come out opaque.
Surface pixels_32(SDL_Surface* file) {
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
    if (!converted || converted->format->BytesPerPixel != 4 || converted->w != file->w || converted->h != file->h ||
        converted->pitch < converted->w * 4)
        return nullptr;
    const int w = file->w, h = file->h;
    const bool keyed = (file->flags & SDL_SRCCOLORKEY) != 0;
    const bool keyed_palette = keyed && has_palette(file);
    const bool opaque = !(file->flags & SDL_SRCALPHA) && !file->format->Amask && !keyed_palette;
    if (SDL_MUSTLOCK(converted.get()) && SDL_LockSurface(converted.get()) < 0) return nullptr;
    if (SDL_MUSTLOCK(file) && SDL_LockSurface(file) < 0) return nullptr;
    for (int y = 0; (opaque || keyed_palette) && y < h; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(converted->pixels) +
                                                    size_t(y) * converted->pitch);
        const uint8_t* src = static_cast<const uint8_t*>(file->pixels) + static_cast<size_t>(y) * file->pitch;
        if (opaque)
            for (int x = 0; x < w; ++x) row[x] |= opaque_alpha;
        else
            for (int x = 0; x < w; ++x)
                row[x] = src[x] == file->format->colorkey ? row[x] & 0x00FFFFFF : row[x] | opaque_alpha;
    }
    if (SDL_MUSTLOCK(file)) SDL_UnlockSurface(file);
    if (SDL_MUSTLOCK(converted.get())) SDL_UnlockSurface(converted.get());
    return converted;
}

std::string extension_of(const DecoderJob& job) {
    std::string ext;
    for (uint32_t i = 0; i < job.word_count && i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            if (const char c = static_cast<char>(job.words[i] >> (8 * b))) ext += c;
    return ext;
}

int decode_picture(const DecoderJob& job) {
    std::vector<uint8_t> bytes;
    if (!decoder_read_input(job.input_fd, picture_file_limit_bytes, &bytes) || bytes.empty()) return unreadable;
    const std::string ext = extension_of(job);
    if (!picture_guard_accepts(bytes, ext)) return guarded;
    SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (!rw) return unreadable;
    Surface file(IMG_LoadTyped_RW(rw, 1, const_cast<char*>(ext.c_str())));
    if (!file || file->w < 1 || file->h < 1 || !file->pixels || !file->format) return undecodable;
    const uint64_t count = uint64_t(file->w) * uint64_t(file->h);
    if (count > picture_pixel_limit) return too_large;
    const Surface pixels = pixels_32(file.get());
    if (!pixels) return unconvertible;
    const bool palette_file = has_palette(file.get());
    const int n = palette_file ? file->format->palette->ncolors : 0;
    const uint32_t colours = palette_file ? static_cast<uint32_t>(n < 0 ? 0 : (n > 256 ? 256 : n)) : 0;
    const uint32_t header[4] = {answer_magic, static_cast<uint32_t>(file->w), static_cast<uint32_t>(file->h),
                                palette_file ? palette_mark | colours : 0};
    bool ok = decoder_write(job.output_fd, header, sizeof header);
    std::vector<uint8_t> indices;
    if (palette_file) {
        uint32_t palette[256] = {};
        for (uint32_t i = 0; i < colours && static_cast<int>(i) < n; ++i) {
            const SDL_Color& c = file->format->palette->colors[i];
            palette[i] = uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
        }
        ok = ok && decoder_write(job.output_fd, palette, sizeof palette);
        if (SDL_MUSTLOCK(file.get()) && SDL_LockSurface(file.get()) < 0) return unconvertible;
        indices.resize(static_cast<size_t>(count));
        for (int y = 0; y < file->h; ++y)
            std::memcpy(&indices[static_cast<size_t>(y) * file->w],
                        static_cast<const uint8_t*>(file->pixels) + static_cast<size_t>(y) * file->pitch,
                        static_cast<size_t>(file->w));
        if (SDL_MUSTLOCK(file.get())) SDL_UnlockSurface(file.get());
    }
    const size_t row_bytes = static_cast<size_t>(file->w) * 4;
    if (pixels->pitch == static_cast<int>(row_bytes)) {
        ok = ok && decoder_write(job.output_fd, pixels->pixels, row_bytes * file->h);
    } else {
        for (int y = 0; y < file->h && ok; ++y)
            ok = decoder_write(job.output_fd, static_cast<const uint8_t*>(pixels->pixels) + size_t(y) * pixels->pitch,
                               row_bytes);
    }
    ok = ok && (indices.empty() || decoder_write(job.output_fd, indices.data(), indices.size()));
    return ok ? 0 : unwritable;
}

}  // namespace

DECODER_CHILD_ENTRY(picture_decoder, "picture", decode_picture);

std::vector<uint32_t> picture_job_words(const char* path) {
    const std::string ext = picture_extension(path);
    std::vector<uint32_t> words(2, 0);
    if (ext.size() > 8) return words;  // no picture type has such a name: read by content
    for (size_t i = 0; i < ext.size(); ++i) words[i / 4] |= uint32_t{static_cast<uint8_t>(ext[i])} << (8 * (i % 4));
    return words;
}

bool picture_answer_read(const uint8_t* answer, size_t size, DecodedPicture* picture) {
    if (!answer || size < header_bytes) return false;
    uint32_t header[4];
    std::memcpy(header, answer, sizeof header);
    const uint32_t w = header[1], h = header[2], colours = header[3] & ~palette_mark;
    const bool palette_file = header[3] & palette_mark;
    if (header[0] != answer_magic || w < 1 || h < 1 || colours > 256 || (!palette_file && colours)) return false;
    const uint64_t count = uint64_t{w} * h;
    if (count > picture_pixel_limit) return false;
    const uint64_t expected = header_bytes + (palette_file ? palette_bytes + count : 0) + count * 4;
    if (size != expected) return false;
    const uint8_t* at = answer + header_bytes;
    picture->width = w;
    picture->height = h;
    picture->palette_file = palette_file;
    picture->colours = colours;
    // The answer is page-aligned and every part starts at a multiple of four.
    picture->palette = palette_file ? reinterpret_cast<const uint32_t*>(at) : nullptr;
    if (palette_file) at += palette_bytes;
    picture->pixels = reinterpret_cast<const uint32_t*>(at);
    at += count * 4;
    picture->indices = palette_file ? at : nullptr;
    return true;
}
