// Image files: the picture decoded in a decoder child, then converted to
// 32-bit colour or mapped onto a palette, with the file's transparency carried
// over.
#include "runtime/display/image_files.h"
#include "runtime/display/image_files_internal.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/strings.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"
#include "runtime/display/picture_decoder.h"
#include "runtime/platform/decoder_child.h"

namespace {

constexpr uint32_t opaque_alpha = 0xFF000000;
// The decoder child's limits: a picture of the largest size still fits, and
// one that takes longer than a few seconds is not a picture a program waits for.
constexpr uint32_t picture_memory_mb = 1536;
constexpr uint32_t picture_cpu_seconds = 5;
constexpr uint32_t picture_wall_ms = 5000;

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

size_t pixel_count(const DecodedPicture& p) { return static_cast<size_t>(p.width) * p.height; }

int32_t load_32(const DecodedPicture& file) {
    int32_t handle = 0;
    ImageRec* rec = create_image(int32_t(file.width), int32_t(file.height), 32, nullptr, &handle);
    if (!rec) return 0;
    page_write(rec->pixels, file.pixels, pixel_count(file) * 4);
    return handle;
}

// A true-colour picture on the dest's palette.
int32_t load_mapped(const DecodedPicture& file, const ImageRec& dest) {
    const uint32_t* pixels = file.pixels;
    const size_t count = pixel_count(file);
    int32_t handle = 0;
    ImageRec* rec = create_image(int32_t(file.width), int32_t(file.height), dest.mode, dest.palette, &handle);
    if (!rec) return 0;
    std::vector<uint8_t> indices(count);
    std::array<uint32_t, 256> uses{};
    bool transparent = false;
    auto map_all = [&](int excluded) {
        // Pictures repeat colours along a row: the last answer is kept.
        uint32_t last_colour = 0;
        int last_index = -1;
        for (size_t i = 0; i < count; ++i) {
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
int32_t load_palette_file(const DecodedPicture& file, int32_t mode, const ImageRec* dest) {
    const uint32_t* converted = file.pixels;
    const uint32_t* fp = file.palette;
    const int colours = static_cast<int>(file.colours);
    const int w = static_cast<int>(file.width), h = static_cast<int>(file.height);
    const size_t count = pixel_count(file);
    const uint8_t* indices = file.indices;
    int key = -1;
    for (size_t i = 0; i < count && key < 0; ++i)
        if (!(converted[i] & opaque_alpha) && indices[i] < colours) key = indices[i];
    int32_t handle = 0;
    ImageRec* rec = create_image(w, h, dest ? mode : 256, dest ? dest->palette : nullptr, &handle);
    if (!rec) return 0;
    if (!dest) {
        for (int i = 0; i < 256; ++i)
            page_store32(&rec->palette[i], i < colours ? opaque_alpha | (fp[i] & 0xFFFFFF) : opaque_alpha);
        rec->transparent_colour = key;
        page_write(rec->pixels, indices, count);
        return handle;
    }
    std::array<uint32_t, 256> uses{};
    std::array<uint8_t, 256> map{};
    auto map_palette = [&](int excluded) {
        for (int i = 0; i < colours; ++i)
            map[static_cast<size_t>(i)] = static_cast<uint8_t>(
                nearest_entry(rec->palette, rec->colour_mask, fp[i] & 0xFFFFFF, excluded));
    };
    map_palette(-1);
    std::vector<uint8_t> out(count);
    bool transparent = false;
    for (size_t i = 0; i < count; ++i) {
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
        for (size_t i = 0; i < count; ++i)
            out[i] = indices[i] == key ? static_cast<uint8_t>(dest_key) : map[indices[i]];
    }
    page_write(rec->pixels, out.data(), out.size());
    return handle;
}

}  // namespace

int32_t load_image_file(const char* path, int32_t wanted_mode) {
    const int32_t fd = decoder_open_regular(path);
    if (fd < 0) return 0;
    const std::vector<uint32_t> words = picture_job_words(path);
    DecoderLimits limits;
    limits.memory_mb = picture_memory_mb;
    limits.cpu_seconds = picture_cpu_seconds;
    limits.wall_ms = picture_wall_ms;
    limits.output_bytes = picture_answer_limit_bytes;
    DecoderAnswer answer;
    const DecoderOutcome outcome = decoder_child_run_mapped(picture_decoder, fd, words.data(), uint32_t(words.size()),
                                                            limits, &answer);
    close(fd);
    DecodedPicture file;
    if (outcome != DecoderOutcome::done || !picture_answer_read(answer.data(), answer.size(), &file)) return 0;
    const ImageRec* dest = dest_image();
    if (wanted_mode == -1 && dest && dest->bytes_per_pixel == 1 && dest->palette)
        return file.palette_file ? load_palette_file(file, dest->mode, dest) : load_mapped(file, *dest);
    if (wanted_mode != 256) return load_32(file);
    if (!file.palette_file) return 0;
    return load_palette_file(file, 256, nullptr);
}

int32_t load_image(StrDesc* file, int32_t mode, bool mode_passed) {
    if (runtime_error_pending()) {
        str_consume(file);
        return 0;
    }
    const ImageRec* dest = dest_image();
    if ((!mode_passed && (!dest || dest->is_text)) || (mode_passed && mode != 32 && mode != 256)) {
        str_consume(file);
        runtime_error(error_illegal_function_call);
        return 0;
    }
    const std::string name(str_view(file));
    str_consume(file);
    // A zero byte inside the name would open some other file.
    if (name.empty() || name.find('\0') != std::string::npos) return -1;
    const int32_t handle = load_image_file(name.c_str(), mode_passed ? mode : -1);
    return handle ? -handle : -1;
}
