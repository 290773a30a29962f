// MPEG audio frames, found the way a decoder syncs on them: what the first
// real frame of an MP3 says of its sample rate, channels and frame size. The
// mixer's MP3 decoder is opened at that rate, so it never converts rates.
#pragma once
#include <cstddef>
#include <cstdint>

struct MpegFrame {
    uint64_t offset = 0;  // of the frame in the file
    uint32_t rate_hz = 0;  // 8000 .. 48000
    uint32_t channels = 0;  // 1 or 2
    uint32_t frame_samples = 0;  // samples per channel in each frame: 384, 576 or 1152
};

// Bytes of ID3v2 tags at the start of a file, given its first ten bytes (the
// tag's own size field says how many follow its header); 0 when none.
uint64_t mpeg_tag_bytes(const uint8_t* head, size_t size);

// The first frame in `data` whose header is valid and is followed by another
// valid header of the same version, layer and rate where its length says (or
// by the end of the data). `data` starts at file offset `base`. False when no
// such frame is found.
bool mpeg_find_frame(const uint8_t* data, size_t size, uint64_t base, MpegFrame* frame);
