// The sound-handle table the tone queue and the sound files share: 256
// channel slots (the slot index is the mixer channel) and the music stream,
// all behind one lock. Internal to runtime/sound.
#pragma once
#include "runtime/platform/decoder_child.h"
#include <SDL_mixer.h>
#include <cstdint>
#include <mutex>

constexpr int sound_slot_count = 256;
constexpr uint32_t stream_handle = 1;

enum SoundCapability : uint8_t {
    cap_sync = 1,
    cap_vol = 2,
    cap_pause = 4,
    cap_len = 8,
    cap_setpos = 16,
};

struct SoundSlot {
    uint32_t handle;  // 0: free
    Mix_Chunk* chunk;  // may be shared by copies
    uint8_t* samples;  // generated frames the slot owns (tone-queue chunks)
    uint32_t sample_bytes;
    bool tone;  // a tone-queue chunk, never a handle the program holds
    bool closed, playing, paused, looping;
    float volume, attenuation;
    float x, y, z;  // last balance position; all 0: none
    uint32_t start_ticks, pause_ticks;
    uint32_t limit_ms;  // 0: none
    double length_s;
    uint8_t caps;
};

// The music stream: its file stays open so that each play can hand it to a
// player child of its own (runtime/sound/sound_decoder.h).
struct MusicStream {
    int32_t file = -1;
    uint32_t extension = 0;  // the file name's, which tells the mixer its type
    DecoderStream player;  // while it plays
    double base_s = 0;  // where the player started
    bool open = false, closed = false, playing = false, paused = false, looping = false;
    bool limit_active = false, mp3 = false;
    bool has_pending_position = false;
    double pending_position_s = 0;
    double limit_s = 0;  // 0: none
    double length_s = -1;  // -1: not measured
    float volume = 1.0f, attenuation = 1.0f;
    int level = 128;  // what the volume and the attenuation make of the mixer's 0..128
    uint8_t caps = 0;
};

// The lock every user of the table holds: program-thread operations and the
// event thread's tone queue and housekeeping. Taken before the mixer's own
// audio lock, never inside it.
std::mutex& sound_lock();
SoundSlot& sound_slot(int index);
MusicStream& music_stream();

// First free slot, cleared, its channel at full volume with no balance, or -1
// when all 256 are in use.
int sound_slot_take();
// The next channel-sound handle: from 2, and 2 again after a wrap to 0.
uint32_t sound_handle_next();
// The slot holding a handle, or -1.
int sound_slot_of(uint32_t handle);
// Halts the channel and frees the slot; its chunk is freed unless another
// slot still shares it, its generated frames always.
void sound_slot_free(int index);
// Bytes of generated frames the slots hold (the tone queue's room), and a
// new slot's share of them.
void sound_generated_add(uint32_t bytes);
uint64_t sound_generated_bytes();
// Stops the music stream's player, closes its file and clears its record.
void music_stream_free();
