// Text literals of the game written with the characters they show (box drawing,
// blocks, arrows) and stored in code page 437 at compile time.
#pragma once
#include <cstddef>
#include <cstdint>
#include "runtime/core/strings.h"

namespace cp437_detail {

// Reached only by a character the table lacks, which stops the compilation.
inline uint8_t character_not_in_table() { return 0; }

consteval uint8_t byte_of(uint32_t code_point) {
    if (code_point < 0x80) return static_cast<uint8_t>(code_point);
    switch (code_point) {
    case 0x25BA:
        return 16;  // right-pointing triangle
    case 0x25C4:
        return 17;  // left-pointing triangle
    case 0x2191:
        return 24;  // up arrow
    case 0x2193:
        return 25;  // down arrow
    case 0x2563:
        return 185;
    case 0x2551:
        return 186;
    case 0x2557:
        return 187;
    case 0x255D:
        return 188;
    case 0x255A:
        return 200;
    case 0x2554:
        return 201;
    case 0x2569:
        return 202;
    case 0x2566:
        return 203;
    case 0x2560:
        return 204;
    case 0x2550:
        return 205;
    case 0x256C:
        return 206;
    case 0x2588:
        return 219;  // full block
    default:
        return character_not_in_table();
    }
}

}  // namespace cp437_detail

// A UTF-8 source literal converted to code page 437 bytes.
template <size_t N>
struct Cp437Text {
    char bytes[N] = {};
    uint32_t length = 0;

    consteval Cp437Text(const char (&utf8)[N]) {
        for (size_t i = 0; i + 1 < N;) {
            const auto lead = static_cast<uint8_t>(utf8[i]);
            uint32_t code_point = lead;
            size_t size = 1;
            if (lead >= 0xE0) {
                code_point = lead & 0x0F;
                size = 3;
            } else if (lead >= 0xC0) {
                code_point = lead & 0x1F;
                size = 2;
            }
            for (size_t k = 1; k < size; ++k)
                code_point = (code_point << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
            bytes[length++] = static_cast<char>(cp437_detail::byte_of(code_point));
            i += size;
        }
    }
};

// A temporary, read-only runtime string over the converted literal:
// cp437<"╔═══╗">().
template <Cp437Text Text>
StrDesc* cp437() {
    return str_from_literal(Text.bytes, Text.length);
}
