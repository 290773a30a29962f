// A cheap first look at a picture file's bytes, in the decoder child before
// SDL_image gets them. Its GIF reader writes through null pointers on screens
// and frames of no size or larger than their screen; its XPM reader crashes on
// a row without its closing quote; its PNG reader never ends when the chunks
// run past the end of the file; and its TGA reader makes the surface a header
// announces before it reads a pixel (a 50-byte file asked for 1.4 GB). The
// child's limits make all of these harmless; refusing them here only saves
// the wait for the limit.
#include "runtime/display/picture_guard.h"

#include <cstdint>
#include <cstring>
#include "runtime/core/code_page.h"

namespace {

constexpr uint64_t max_tga_pixels = 16u << 20;  // 4096 x 4096

uint32_t le16(const uint8_t* p) { return p[0] | p[1] << 8; }

// Skips a run of GIF sub-blocks from `at`; false when they run off the end.
bool gif_skip_blocks(const std::vector<uint8_t>& b, size_t* at) {
    while (*at < b.size()) {
        const size_t n = b[(*at)++];
        if (n == 0) return true;
        *at += n;
    }
    return false;
}

// True for a GIF whose screen and every frame have a size and lie inside the
// screen, with its blocks inside the file.
bool gif_sound(const std::vector<uint8_t>& b) {
    if (b.size() < 13) return false;
    const uint32_t screen_w = le16(&b[6]), screen_h = le16(&b[8]);
    if (screen_w == 0 || screen_h == 0) return false;
    size_t at = 13;
    if (b[10] & 0x80) at += 3u << ((b[10] & 7) + 1);
    while (at < b.size()) {
        const uint8_t kind = b[at++];
        if (kind == 0x3B) return true;
        if (kind == 0x21) {
            if (++at > b.size() || !gif_skip_blocks(b, &at)) return false;
        } else if (kind == 0x2C) {
            if (at + 9 > b.size()) return false;
            const uint32_t left = le16(&b[at]), top = le16(&b[at + 2]);
            const uint32_t w = le16(&b[at + 4]), h = le16(&b[at + 6]);
            if (w == 0 || h == 0 || left + w > screen_w || top + h > screen_h) return false;
            const uint8_t flags = b[at + 8];
            at += 9;
            if (flags & 0x80) at += 3u << ((flags & 7) + 1);
            if (++at > b.size() || !gif_skip_blocks(b, &at)) return false;  // code size, then data
        } else {
            return false;
        }
    }
    return false;
}

// True when every row string of an XPM picture closes its quote on its line.
bool xpm_sound(const std::vector<uint8_t>& b) {
    bool open = false;
    for (uint8_t c : b) {
        if (c == '"')
            open = !open;
        else if (c == '\n' && open)
            return false;
    }
    return !open;
}

// True when the chunks of a PNG file reach IEND inside it.
bool png_sound(const std::vector<uint8_t>& b) {
    for (uint64_t at = 8; at + 12 <= b.size();) {
        const uint8_t* p = &b[at];
        const uint64_t length = uint64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (std::memcmp(p + 4, "IEND", 4) == 0) return true;
        at += 12 + length;
    }
    return false;
}

}  // namespace

std::string picture_extension(const char* path) {
    const char* dot = path ? std::strrchr(path, '.') : nullptr;
    std::string ext = dot && !std::strchr(dot, '/') ? dot + 1 : "";
    for (char& c : ext) c = ascii_upper(c);
    return ext;
}

bool picture_guard_accepts(const std::vector<uint8_t>& b, const std::string& extension) {
    const auto starts = [&](const char* magic, size_t n) {
        return b.size() >= n && std::memcmp(b.data(), magic, n) == 0;
    };
    if (starts("GIF", 3) && !gif_sound(b)) return false;
    if (starts("/* XPM */", 9) && !xpm_sound(b)) return false;
    if (starts("\x89PNG\r\n\x1a\n", 8) && !png_sound(b)) return false;
    // TGA has no signature: SDL_image reads a file as one by its name.
    if (extension == "TGA" && (b.size() < 18 || uint64_t(le16(&b[12])) * le16(&b[14]) > max_tga_pixels)) return false;
    return true;
}
