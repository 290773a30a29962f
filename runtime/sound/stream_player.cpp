// The stream's frames added to each mixed buffer: the mixer's post-mix hook
// reads what the player child has ready without waiting (what is not there
// yet is silence, and the position does not move), scales it as the mixer
// scales music and adds it with clipping.
#include "runtime/sound/stream_player.h"
#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t frame_bytes = 4;  // 16-bit stereo
constexpr size_t scratch_bytes = 16384;

// Shared with the audio thread, under the audio lock.
struct Player {
    int32_t fd = -1;
    int level = MIX_MAX_VOLUME;
    bool paused = false, ended = false, hooked = false;
    uint64_t frames = 0, limit_frames = 0;
    uint8_t partial[frame_bytes] = {};  // a frame the pipe gave only in part
    uint32_t partial_bytes = 0;
};

Player State;
uint8_t Scratch[scratch_bytes];

void add_frames(int16_t* out, const uint8_t* in, size_t frames, int level) {
    for (size_t i = 0; i < frames * 2; ++i) {
        int16_t v;
        std::memcpy(&v, in + i * 2, 2);
        const int sum = out[i] + v * level / MIX_MAX_VOLUME;
        out[i] = static_cast<int16_t>(sum > 32767 ? 32767 : sum < -32768 ? -32768 : sum);
    }
}

void post_mix(void*, Uint8* stream, int len) {
    Player& p = State;
    if (p.fd < 0 || p.paused || p.ended || len <= 0) return;
    auto* out = reinterpret_cast<int16_t*>(stream);
    uint64_t want = static_cast<uint32_t>(len) / frame_bytes;
    if (p.limit_frames && p.frames + want > p.limit_frames) want = p.limit_frames - p.frames;
    while (want > 0) {
        std::memcpy(Scratch, p.partial, p.partial_bytes);
        uint64_t room = want * frame_bytes - p.partial_bytes;
        if (room > scratch_bytes - p.partial_bytes)
            room = (scratch_bytes - p.partial_bytes) / frame_bytes * frame_bytes;
        const ssize_t n = read(p.fd, Scratch + p.partial_bytes, room);
        if (n == 0) p.ended = true;
        if (n <= 0) break;  // nothing more yet: the rest of this buffer is silent
        const size_t have = p.partial_bytes + static_cast<size_t>(n);
        const size_t frames = have / frame_bytes;
        add_frames(out, Scratch, frames, p.level);
        out += frames * 2;
        p.partial_bytes = static_cast<uint32_t>(have - frames * frame_bytes);
        std::memcpy(p.partial, Scratch + frames * frame_bytes, p.partial_bytes);
        p.frames += frames;
        want -= frames;
    }
    if (p.limit_frames && p.frames >= p.limit_frames) p.ended = true;
}

}  // namespace

void stream_player_attach(int32_t fd, int level, uint64_t limit_frames, bool paused) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    SDL_LockAudio();
    if (!State.hooked) Mix_SetPostMix(post_mix, nullptr);
    State = Player{};
    State.hooked = true;
    State.fd = fd;
    State.level = level;
    State.limit_frames = limit_frames;
    State.paused = paused;
    SDL_UnlockAudio();
}

void stream_player_detach() {
    SDL_LockAudio();
    const bool hooked = State.hooked;
    State = Player{};
    State.hooked = hooked;
    SDL_UnlockAudio();
}

void stream_player_pause(bool paused) {
    SDL_LockAudio();
    State.paused = paused;
    SDL_UnlockAudio();
}

void stream_player_set_level(int level) {
    SDL_LockAudio();
    State.level = level;
    SDL_UnlockAudio();
}

uint64_t stream_player_frames() {
    SDL_LockAudio();
    const uint64_t frames = State.frames;
    SDL_UnlockAudio();
    return frames;
}

bool stream_player_ended() {
    SDL_LockAudio();
    const bool ended = State.ended;
    SDL_UnlockAudio();
    return ended;
}
