// The raw sample stream: a ring of frames the program fills and the mixer's
// audio thread drains through the music hook, under the audio lock.
#include "runtime/sound/raw_samples.h"
#include "runtime/sound/raw_samples_internal.h"
#include "runtime/sound/audio.h"
#include "runtime/sound/tone_synth.h"
#include "runtime/core/errors.h"
#include <SDL.h>
#include <SDL_mixer.h>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t ring_first_bytes = 32768;
// The ring doubles when the program writes faster than it plays; past this
// (about six minutes ahead) growing counts as out of memory.
constexpr uint32_t ring_most_bytes = uint32_t{1} << 26;
constexpr uint32_t block_bytes = 2048;
constexpr uint32_t hook_start_bytes = 16384;

// Shared with the audio thread under the audio lock: everything but `cursor`
// and `pending`, which only the writing program thread uses. The program
// writes a block past `write` unlocked; the hook reads only up to `write`, and
// the ring always keeps a block's room free, so the two never meet.
struct RawRing {
    uint8_t* data;
    uint32_t size;
    uint32_t read;
    uint32_t write;
    uint32_t queued;
    bool hook_installed;
    uint32_t cursor;  // where the writer's next frame goes
    uint32_t pending;  // bytes written since the last block was handed over
};

RawRing Ring{};

void raw_hook(void*, Uint8* stream, int len) {
    const uint32_t want = len > 0 ? static_cast<uint32_t>(len) : 0;
    const uint32_t n = want < Ring.queued ? want : Ring.queued;
    const uint32_t first = n < Ring.size - Ring.read ? n : Ring.size - Ring.read;
    std::memcpy(stream, Ring.data + Ring.read, first);
    std::memcpy(stream + first, Ring.data, n - first);
    std::memset(stream + n, 0, want - n);
    Ring.read = (Ring.read + n) % Ring.size;
    Ring.queued -= n;
    if (n < want) {
        // Dry: the hook leaves; the ring stays with the writer, who may be
        // filling its next block at this very moment.
        Mix_HookMusic(nullptr, nullptr);
        Ring.hook_installed = false;
    }
}

// Audio lock held. False when the memory cannot be had.
bool ring_grow() {
    const uint32_t size = Ring.size * 2;
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a ring of program-sized bytes: a failure is an error, not an exception
    auto* grown = size <= ring_most_bytes ? static_cast<uint8_t*>(std::malloc(size)) : nullptr;
    if (!grown) return false;
    const uint32_t first = Ring.queued < Ring.size - Ring.read ? Ring.queued : Ring.size - Ring.read;
    std::memcpy(grown, Ring.data + Ring.read, first);
    std::memcpy(grown + first, Ring.data, Ring.queued - first);
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a ring of program-sized bytes: a failure is an error, not an exception
    std::free(Ring.data);
    Ring.data = grown;
    Ring.size = size;
    Ring.read = 0;
    Ring.write = Ring.queued;
    Ring.cursor = Ring.write;
    return true;
}

void hand_over_block() {
    bool failed = false;
    SDL_LockAudio();
    Ring.write = Ring.cursor % Ring.size;
    Ring.queued += block_bytes;
    Ring.pending = 0;
    if (Ring.size - Ring.queued < block_bytes && !ring_grow()) {
        // The newest block is given up rather than written over frames
        // still to be played.
        Ring.queued -= block_bytes;
        Ring.write = (Ring.write + Ring.size - block_bytes) % Ring.size;
        failed = true;
    }
    Ring.cursor = Ring.write;
    if (!Ring.hook_installed && Ring.queued >= hook_start_bytes) {
        Mix_HookMusic(raw_hook, nullptr);
        Ring.hook_installed = true;
    }
    SDL_UnlockAudio();
    if (failed) runtime_error(error_out_of_memory_1);
}

int16_t sample_of(double v) {
    if (!(v > -1.0)) return v != v ? 0 : -32768;  // NaN is silence
    if (v >= 1.0) return 32767;
    return static_cast<int16_t>(std::floor(v * 32767.99999));
}

}  // namespace

void raw_sample_push(double left, double right, int32_t right_given) {
    if (!audio_open_once()) return;
    if (!Ring.data) {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a ring of program-sized bytes: a failure is an error, not an exception
        auto* data = static_cast<uint8_t*>(std::malloc(ring_first_bytes));
        if (!data) {
            runtime_error(error_out_of_memory_1);
            return;
        }
        SDL_LockAudio();
        Ring = RawRing{data, ring_first_bytes, 0, 0, 0, false, 0, 0};
        SDL_UnlockAudio();
    }
    const int16_t frame[2] = {sample_of(left), sample_of(right_given ? right : left)};
    std::memcpy(Ring.data + Ring.cursor, frame, sizeof frame);
    Ring.cursor += sizeof frame;
    Ring.pending += sizeof frame;
    if (Ring.pending == block_bytes) hand_over_block();
}

double raw_queued_seconds() {
    if (!audio_is_open()) return 0;
    SDL_LockAudio();
    uint32_t queued = Ring.hook_installed ? Ring.queued : 0;
    SDL_UnlockAudio();
    return queued / static_cast<double>(tone_bytes_per_second);
}

int32_t raw_sample_rate() { return static_cast<int32_t>(tone_rate_hz); }

void raw_samples_stop() {
    if (!audio_is_open()) return;
    SDL_LockAudio();
    if (Ring.hook_installed) Mix_HookMusic(nullptr, nullptr);
    uint8_t* data = Ring.data;
    Ring = RawRing{};
    SDL_UnlockAudio();
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): a ring of program-sized bytes: a failure is an error, not an exception
    std::free(data);
}

uint32_t raw_ring_size() {
    SDL_LockAudio();
    uint32_t size = Ring.data ? Ring.size : 0;
    SDL_UnlockAudio();
    return size;
}
