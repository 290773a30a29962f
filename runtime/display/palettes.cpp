// The default palettes of the emulated screens and the monochrome blink table.
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"

#include <array>
#include <cstddef>

namespace {

constexpr uint32_t opaque = 0xFF000000;

// The 16 text colours, 0x00RRGGBB.
constexpr std::array<uint32_t, 16> TextPalette16 = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};

// The VGA BIOS loads its DAC with 6-bit components; these are widened to 8 bits.
constexpr uint32_t dac_widen(uint32_t v6) { return (v6 * 255 + 31) / 63; }  // round(v × 255 / 63)

constexpr uint32_t dac_colour(uint32_t r6, uint32_t g6, uint32_t b6) {
    return dac_widen(r6) << 16 | dac_widen(g6) << 8 | dac_widen(b6);
}

// The 6-bit components of the text colours as the BIOS holds them.
constexpr uint8_t TextDac[16][3] = {
    {0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},  {42, 0, 0},   {42, 0, 42},  {42, 21, 0},  {42, 42, 42},
    {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63}, {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63},
};

constexpr uint8_t GreyRampDac[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};

// Entries 32-247: nine groups of 24 hues. Each group runs round the colour wheel
// (blue, magenta, red, yellow, green, cyan, back towards blue) between its own
// lowest and highest component level; groups go high, medium and low intensity,
// each in high, medium and low saturation.
constexpr uint8_t HueGroupLevels[9][5] = {
    {0, 16, 31, 47, 63},  {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63}, {0, 7, 14, 21, 28},   {14, 17, 21, 24, 28},
    {20, 22, 24, 26, 28}, {0, 4, 8, 12, 16},    {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16},
};

// Level indices (red, green, blue) of each of the 24 steps round the wheel.
constexpr uint8_t HueWheel[24][3] = {
    {0, 0, 4}, {1, 0, 4}, {2, 0, 4}, {3, 0, 4}, {4, 0, 4}, {4, 0, 3}, {4, 0, 2}, {4, 0, 1},
    {4, 0, 0}, {4, 1, 0}, {4, 2, 0}, {4, 3, 0}, {4, 4, 0}, {3, 4, 0}, {2, 4, 0}, {1, 4, 0},
    {0, 4, 0}, {0, 4, 1}, {0, 4, 2}, {0, 4, 3}, {0, 4, 4}, {0, 3, 4}, {0, 2, 4}, {0, 1, 4},
};

constexpr uint32_t first_grey_entry = 16;
constexpr uint32_t first_hue_entry = 32;

constexpr std::array<uint32_t, 256> vga256_default() {
    std::array<uint32_t, 256> palette{};  // 248-255 stay black
    for (uint32_t i = 0; i < 16; ++i) {
        palette[i] = dac_colour(TextDac[i][0], TextDac[i][1], TextDac[i][2]);
        palette[first_grey_entry + i] = dac_colour(GreyRampDac[i], GreyRampDac[i], GreyRampDac[i]);
    }
    for (uint32_t group = 0; group < 9; ++group) {
        const uint8_t* level = HueGroupLevels[group];
        for (uint32_t step = 0; step < 24; ++step) {
            const uint8_t* rgb = HueWheel[step];
            palette[first_hue_entry + group * 24 + step] = dac_colour(level[rgb[0]], level[rgb[1]], level[rgb[2]]);
        }
    }
    return palette;
}

constexpr std::array<uint32_t, 256> Vga256Palette = vga256_default();

static_assert(
    [] {
        for (uint32_t i = 0; i < 16; ++i)
            if (Vga256Palette[i] != TextPalette16[i]) return false;
        return true;
    }(),
    "the BIOS text colours widen to the 16-colour text palette");

// rgbRGB: the low three bits add two thirds of a component, the high three one third.
constexpr std::array<uint32_t, 64> ega64_default() {
    std::array<uint32_t, 64> palette{};
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t blue = (i & 1 ? 0xAA : 0) + (i & 8 ? 0x55 : 0);
        uint32_t green = (i & 2 ? 0xAA : 0) + (i & 16 ? 0x55 : 0);
        uint32_t red = (i & 4 ? 0xAA : 0) + (i & 32 ? 0x55 : 0);
        palette[i] = red << 16 | green << 8 | blue;
    }
    return palette;
}

template <std::size_t N>
constexpr std::array<uint32_t, N> with_alpha(const std::array<uint32_t, N>& colours) {
    std::array<uint32_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = colours[i] | opaque;
    return out;
}

constexpr std::array<uint32_t, 256> WorkingVga256 = with_alpha(Vga256Palette);
constexpr std::array<uint32_t, 16> WorkingText16 = with_alpha(TextPalette16);
constexpr std::array<uint32_t, 64> WorkingEga64 = with_alpha(ega64_default());

constexpr uint32_t mono_black = 0x000000, mono_grey = 0x808080, mono_white = 0xFFFFFF;

// Index = 3 × (colour in phase 0) + (colour in phase 1), over black, grey, white.
constexpr uint32_t MonoBlinkTable[2][9] = {
    {mono_black, mono_black, mono_black, mono_grey, mono_grey, mono_grey, mono_white, mono_white, mono_white},
    {mono_black, mono_grey, mono_white, mono_black, mono_grey, mono_white, mono_black, mono_grey, mono_white},
};

}  // namespace

const uint32_t* vga256_palette() { return WorkingVga256.data(); }
const uint32_t* text_palette16() { return WorkingText16.data(); }
const uint32_t* ega64_palette() { return WorkingEga64.data(); }

uint32_t mono_blink_colour(int phase, int index) {
    if (index < 0 || index > 8) return mono_black;
    return MonoBlinkTable[phase != 0 ? 1 : 0][index];
}
