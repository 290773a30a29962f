// MPEG audio frame headers: sync word, version, layer, bit rate, sample rate,
// padding and channel mode, and the frame length they give.
#include "runtime/sound/mpeg_frames.h"

namespace {

constexpr uint32_t max_free_format_bytes = 8192;

// Kilobits a second by [MPEG-1?][layer 1..3][index].
constexpr uint16_t bitrates_kbps[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
constexpr uint32_t mpeg1_rates_hz[3] = {44100, 48000, 32000};

struct Header {
    uint32_t version;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    uint32_t layer;  // 1, 2, 3
    uint32_t rate_hz;
    uint32_t channels;
    uint32_t frame_samples;
    uint32_t bytes;  // 0: free format
};

bool parse(const uint8_t* h, Header* out) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const uint32_t version = (h[1] >> 3) & 3, layer_bits = (h[1] >> 1) & 3;
    const uint32_t bitrate_index = h[2] >> 4, rate_index = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer_bits == 0 || bitrate_index == 15 || rate_index == 3) return false;
    const uint32_t layer = 4 - layer_bits;
    const bool mpeg1 = version == 3;
    const uint32_t rate = mpeg1_rates_hz[rate_index] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const uint32_t kbps = bitrates_kbps[mpeg1][layer - 1][bitrate_index];
    out->version = version;
    out->layer = layer;
    out->rate_hz = rate;
    out->channels = (h[3] >> 6) == 3 ? 1 : 2;
    out->frame_samples = layer == 1 ? 384 : (layer == 3 && !mpeg1) ? 576 : 1152;
    if (kbps == 0)
        out->bytes = 0;
    else if (layer == 1)
        out->bytes = (12 * kbps * 1000 / rate + padding) * 4;
    else
        out->bytes = out->frame_samples / 8 * kbps * 1000 / rate + padding;
    return true;
}

bool same_stream(const Header& a, const Header& b) {
    return a.version == b.version && a.layer == b.layer && a.rate_hz == b.rate_hz;
}

// A free-format frame has no length of its own: the next matching header
// nearby stands for it.
bool free_format_followed(const uint8_t* data, size_t size, size_t at, const Header& first) {
    for (size_t next = at + 4; next + 4 <= size && next < at + max_free_format_bytes; ++next) {
        Header h{};
        if (parse(data + next, &h) && same_stream(h, first)) return true;
    }
    return false;
}

}  // namespace

uint64_t mpeg_tag_bytes(const uint8_t* head, size_t size) {
    if (size < 10 || head[0] != 'I' || head[1] != 'D' || head[2] != '3') return 0;
    if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return 0;  // not a tag's size
    const uint64_t body = uint64_t{head[6]} << 21 | uint64_t{head[7]} << 14 | uint64_t{head[8]} << 7 | head[9];
    const bool footer = head[5] & 0x10;
    return 10 + body + (footer ? 10 : 0);
}

bool mpeg_find_frame(const uint8_t* data, size_t size, uint64_t base, MpegFrame* frame) {
    for (size_t at = 0; at + 4 <= size; ++at) {
        Header h{};
        if (!parse(data + at, &h)) continue;
        bool followed;
        if (h.bytes == 0) {
            followed = free_format_followed(data, size, at, h);
        } else if (at + h.bytes + 4 > size) {
            followed = at + h.bytes >= size;  // the last frame of the data
        } else {
            Header next{};
            followed = parse(data + at + h.bytes, &next) && same_stream(next, h);
        }
        if (!followed) continue;
        *frame = MpegFrame{base + at, h.rate_hz, h.channels, h.frame_samples};
        return true;
    }
    return false;
}
