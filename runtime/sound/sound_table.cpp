// The sound-handle table: channel slots and the music stream.
#include "runtime/sound/sound_table.h"
#include "runtime/sound/stream_player.h"
#include <unistd.h>
#include <cstdlib>
#include <cstring>

namespace {

std::mutex SoundLock;
SoundSlot Slots[sound_slot_count];
MusicStream Stream;
uint32_t NextHandle = 2;
uint64_t GeneratedBytes = 0;

}  // namespace

std::mutex& sound_lock() { return SoundLock; }
SoundSlot& sound_slot(int index) { return Slots[index]; }
MusicStream& music_stream() { return Stream; }

int sound_slot_take() {
    for (int i = 0; i < sound_slot_count; ++i) {
        if (Slots[i].handle != 0) continue;
        std::memset(&Slots[i], 0, sizeof Slots[i]);
        Slots[i].volume = 1.0f;
        Slots[i].attenuation = 1.0f;
        // Whatever the last sound on this channel set (its volume, its place
        // left or right and far away) goes with it.
        Mix_UnregisterAllEffects(i);
        Mix_Volume(i, MIX_MAX_VOLUME);
        return i;
    }
    return -1;
}

uint32_t sound_handle_next() {
    uint32_t h = NextHandle++;
    if (NextHandle == 0) NextHandle = 2;
    return h;
}

int sound_slot_of(uint32_t handle) {
    if (handle < 2) return -1;
    for (int i = 0; i < sound_slot_count; ++i)
        if (Slots[i].handle == handle) return i;
    return -1;
}

void sound_slot_free(int index) {
    SoundSlot& s = Slots[index];
    if (s.handle == 0) return;
    Mix_HaltChannel(index);
    bool shared = false;
    for (int i = 0; i < sound_slot_count && !shared; ++i)
        shared = i != index && Slots[i].handle != 0 && Slots[i].chunk == s.chunk;
    if (s.chunk && !shared) Mix_FreeChunk(s.chunk);
    if (s.samples) {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples taken by malloc for SDL_mixer
        std::free(s.samples);
        GeneratedBytes -= s.sample_bytes;
    }
    std::memset(&s, 0, sizeof s);
}

void sound_generated_add(uint32_t bytes) { GeneratedBytes += bytes; }
uint64_t sound_generated_bytes() { return GeneratedBytes; }

void music_stream_free() {
    stream_player_detach();
    decoder_stream_stop(&Stream.player);
    if (Stream.file >= 0) close(Stream.file);
    Stream = MusicStream{};
}
