// Inside the sound decoder child: its mixer, the music it opens from a file
// handed to it, and the stream it plays. Nothing here runs in the program.
#pragma once
#include "runtime/sound/sound_decoder_protocol.h"
#include <SDL_mixer.h>
#include <cstdint>
#include <vector>

// Where a music reads from: the file through its descriptor from `base` on,
// or (a WAV file, its chunk sizes cut to what it holds) bytes in memory. The
// mixer may close it or not; either way it is ours to free.
struct MusicSource {
    int32_t fd = -1;
    uint64_t base = 0, size = 0, at = 0;
    std::vector<uint8_t> bytes;
    SDL_RWops* rw = nullptr;
};

// (Re)opens the child's mixer: at 22050 Hz stereo on a driver that paces
// itself for loading and looking, or at the stream's rate on one that runs
// as fast as its output is taken, for playing. False when the mixer cannot
// have exactly that format.
bool sound_child_mixer_open(bool playing, int rate_hz, int channels);

// Opens the music on the file as Mix_LoadMUS would (the extension first, then
// the content tells the type), or as `type` when it is not MUS_NONE. Null
// when the mixer refuses it; the source is released either way on close.
Mix_Music* sound_child_music_open(int32_t fd, uint32_t extension, uint64_t base, Mix_MusicType type,
                                  MusicSource* source);
void sound_child_music_close(Mix_Music* music, MusicSource* source);

// The file read whole, with a RIFF file's chunk sizes cut to what it holds (a
// cut-off recording plays what it has). Empty when it cannot be read.
std::vector<uint8_t> sound_child_file_bytes(int32_t fd);

// Lets the child use `seconds` more of processor time from now on.
void sound_child_allow_cpu(uint32_t seconds);

// Plays the stream: answers the request, then writes frames to the output
// until the music ends (sound_stream_child.cpp). The child's last request.
int sound_child_play(const DecoderJob& job, const SoundRequest& request, int32_t fd);

// Writes the answer (and the coverage reached for it, in a fuzzing build).
bool sound_child_answer(const DecoderJob& job, uint32_t status, int32_t music_type, uint64_t bytes);
