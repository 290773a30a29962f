// Alpha blending and the pixel and box primitives every drawing goes through:
// MixTable and AlphaTable, one pixel blended or stored, boxes filled a row at
// a time.
#include <algorithm>
#include <cstdlib>

#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr uint32_t alpha_shift = 24;
constexpr uint32_t opaque = 0xFF;
constexpr uint32_t half_low = 0x7F;
constexpr uint32_t half_high = 0x80;
constexpr uint32_t rgb_halving_mask = 0xFEFEFE;

// MixTable[a][s][d] at a * 65536 + s * 256 + d; AlphaTable[a][b] at a * 256 + b.
uint8_t* MixTable = nullptr;
uint8_t AlphaTable[256 * 256];
bool AlphaTableBuilt = false;

// round(a / 255 * s + (1 - a / 255) * d) and round((1 - (1 - a / 255)(1 - b / 255))
// * 255) in integers: no value lies on a half, and single precision gives the
// same number for every entry of both tables.
uint8_t mix_value(uint32_t a, uint32_t s, uint32_t d) {
    return static_cast<uint8_t>((a * s + (255 - a) * d + 127) / 255);
}

uint8_t alpha_value(uint32_t a, uint32_t b) {
    return static_cast<uint8_t>((255 * 255 - (255 - a) * (255 - b) + 127) / 255);
}

void alpha_table_ensure() {
    if (AlphaTableBuilt) return;
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) AlphaTable[a * 256 + b] = alpha_value(a, b);
    AlphaTableBuilt = true;
}

inline uint8_t mix(uint32_t a, uint32_t s, uint32_t d) {
    return MixTable ? MixTable[(a << 16) | (s << 8) | d] : mix_value(a, s, d);
}

inline uint32_t blend_mixed(uint32_t old, uint32_t colour, uint32_t a) {
    uint32_t rgb = 0;
    for (uint32_t shift = 0; shift < alpha_shift; shift += 8)
        rgb |= uint32_t{mix(a, (colour >> shift) & 0xFF, (old >> shift) & 0xFF)} << shift;
    return rgb | uint32_t{AlphaTable[(old >> alpha_shift) * 256 + a]} << alpha_shift;
}

inline uint32_t blend_halved(uint32_t old, uint32_t colour, uint32_t a) {
    uint32_t rgb = ((old & rgb_halving_mask) + (colour & rgb_halving_mask)) >> 1;
    return rgb | uint32_t{AlphaTable[a * 256 + (old >> alpha_shift)]} << alpha_shift;
}

inline uint8_t* pixel_at(const ImageRec& image, int32_t x, int32_t y) {
    return image.pixels + (static_cast<size_t>(y) * image.width + static_cast<size_t>(x)) * image.bytes_per_pixel;
}

// One row of a blended fill: the colour's alpha is neither 0 nor 255.
void blend_row(uint8_t* row, size_t count, uint32_t colour) {
    uint32_t a = colour >> alpha_shift;
    auto* words = reinterpret_cast<const PageWord32*>(row);
    if (a == half_low || a == half_high) {
        for (size_t i = 0; i < count; ++i) page_store32(row + i * 4, blend_halved(words[i], colour, a));
        return;
    }
    if (!MixTable) {
        for (size_t i = 0; i < count; ++i) page_store32(row + i * 4, blend_mixed(words[i], colour, a));
        return;
    }
    // One colour over a row: each channel is one 256-byte line of the table.
    const uint8_t* mix_of[3];
    for (uint32_t c = 0; c < 3; ++c) mix_of[c] = MixTable + (a << 16) + (((colour >> (8 * c)) & 0xFF) << 8);
    uint8_t alpha_of[256];
    for (uint32_t b = 0; b < 256; ++b) alpha_of[b] = AlphaTable[b * 256 + a];
    for (size_t i = 0; i < count; ++i) {
        uint32_t old = words[i];
        page_store32(row + i * 4,
                     uint32_t{mix_of[0][old & 0xFF]} | uint32_t{mix_of[1][(old >> 8) & 0xFF]} << 8 |
                         uint32_t{mix_of[2][(old >> 16) & 0xFF]} << 16 |
                         uint32_t{alpha_of[old >> alpha_shift]} << alpha_shift);
    }
}

}  // namespace

void blend_tables_ensure() {
    alpha_table_ensure();
    if (MixTable) return;
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a table too large to take without a failure test
    auto* table = static_cast<uint8_t*>(std::malloc(size_t{256} * 256 * 256));
    if (!table) return;
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t s = 0; s < 256; ++s) {
            uint8_t* row = table + (a << 16) + (s << 8);
            for (uint32_t d = 0; d < 256; ++d) row[d] = mix_value(a, s, d);
        }
    MixTable = table;
}

uint32_t blend_over(uint32_t old, uint32_t colour) {
    uint32_t a = colour >> alpha_shift;
    if (a == 0) return old;
    if (a == opaque) return colour;
    alpha_table_ensure();
    if (a == half_low || a == half_high) return blend_halved(old, colour, a);
    return blend_mixed(old, colour, a);
}

void set_pixel_blend(ImageRec& image, int32_t x, int32_t y, uint32_t colour) {
    uint8_t* at = pixel_at(image, x, y);
    if (image.bytes_per_pixel == 1) {
        page_store8(at, static_cast<uint8_t>(colour & image.colour_mask));
        return;
    }
    if (image.blend_disabled) {
        page_store32(at, colour);
        return;
    }
    uint32_t a = colour >> alpha_shift;
    if (a == 0) return;
    page_store32(at, a == opaque ? colour : blend_over(*reinterpret_cast<const PageWord32*>(at), colour));
}

void set_pixel_clipped(ImageRec& image, int32_t x, int32_t y, uint32_t colour) {
    PixelRect r = view_rect(image);
    if (x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2) set_pixel_blend(image, x, y, colour);
}

void fill_box_pixels(ImageRec& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (image.is_text || !image.pixels) return;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, image.width - 1);
    y2 = std::min(y2, image.height - 1);
    if (x1 > x2 || y1 > y2) return;
    size_t count = static_cast<size_t>(x2 - x1 + 1);
    int32_t rows = y2 - y1 + 1;
    // Whole rows are one run of memory: filled in one go.
    if (count == image.width) {
        count *= static_cast<size_t>(rows);
        rows = 1;
    }
    uint32_t a = colour >> alpha_shift;
    if (image.bytes_per_pixel == 1 || image.blend_disabled || a == opaque) {
        auto index = static_cast<uint8_t>(colour & image.colour_mask);
        for (int32_t y = y1; y < y1 + rows; ++y) {
            if (image.bytes_per_pixel == 1)
                page_fill8(pixel_at(image, x1, y), index, count);
            else
                page_fill32(pixel_at(image, x1, y), colour, count);
        }
        return;
    }
    if (a == 0) return;
    alpha_table_ensure();
    for (int32_t y = y1; y < y1 + rows; ++y) blend_row(pixel_at(image, x1, y), count, colour);
}
