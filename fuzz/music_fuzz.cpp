// Fuzz target: any bytes as a music string, with a small variable block for
// "=" references. The interpreter must end in success or an error without
// reading past the string, without a crash and within bounded memory.
#include "runtime/sound/music.h"
#include "runtime/sound/tone_synth.h"
#include <cstdint>
#include <cstdlib>

namespace {

// Sound a run may make: little for quick runs, or (when the first byte's top
// bit is set) enough for long strings and chords past the first buffer's size.
constexpr uint64_t small_room_bytes = 64u << 10;
constexpr uint64_t large_room_bytes = 1u << 20;

class CheckingSink : public MusicSink {
public:
    explicit CheckingSink(uint64_t room) : room_(room) {}
    void chunk(uint8_t* data, uint32_t bytes) override {
        if (bytes == 0 || bytes % tone_frame_bytes != 0) std::abort();
        made_ += bytes;
        if (made_ > room_) std::abort();
        std::free(data);
    }
    void marker() override {}
    uint64_t room_bytes() override { return room_ - made_; }

private:
    uint64_t room_, made_ = 0;
};

uint8_t Variables[256];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes fill the variable block, the rest is the string.
    size_t block = size < 64 ? size / 2 : 32;
    for (size_t i = 0; i < sizeof Variables; ++i) Variables[i] = i < block ? data[i] : static_cast<uint8_t>(i);
    MusicState state;
    CheckingSink sink(size > 0 && (data[0] & 0x80) ? large_room_bytes : small_room_bytes);
    music_interpret(data + block, static_cast<uint32_t>(size - block), state, sink, {Variables, sizeof Variables});
    if (state.tempo < 32 || state.tempo > 255 || state.octave < 0 || state.octave > 6) std::abort();
    return 0;
}
