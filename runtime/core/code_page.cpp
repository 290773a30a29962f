// UTF-8 encoding and decoding.
#include "runtime/core/code_page.h"

void utf8_append(std::string& out, uint32_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

size_t utf8_decode(std::string_view text, uint32_t* u) {
    if (text.empty()) return 0;
    const uint8_t lead = static_cast<uint8_t>(text[0]);
    const size_t extra = lead < 0x80 ? 0
        : (lead & 0xE0) == 0xC0      ? 1
        : (lead & 0xF0) == 0xE0      ? 2
        : (lead & 0xF8) == 0xF0      ? 3
                                     : 4;
    if (extra == 4 || extra >= text.size()) return 0;
    uint32_t point = lead & (0x7F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        const uint8_t next = static_cast<uint8_t>(text[k]);
        if ((next & 0xC0) != 0x80) return 0;
        point = (point << 6) | (next & 0x3F);
    }
    static constexpr uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (point < least[extra]) return 0;
    *u = point;
    return extra + 1;
}
