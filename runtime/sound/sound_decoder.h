// Sound files decoded where a decoder's fault cannot reach the program: a
// decoder child (runtime/platform/decoder_child.h) runs SDL_mixer on each
// file. Channel sounds come back as PCM in the mixer's format; the music
// stream is first looked at there, then played by a child of its own, which
// hands over its mixed PCM through a pipe. The program's mixer never parses a
// sound file. Program thread (and the shutdown); internal to runtime/sound.
#pragma once
#include "runtime/platform/decoder_child.h"
#include <cstdint>

// One channel sound's PCM at most (about 25 minutes at 88200 bytes a second),
// and the size of a file read whole for decoding.
constexpr uint64_t sound_chunk_limit_bytes = uint64_t{256} << 20;
constexpr uint64_t sound_file_limit_bytes = uint64_t{256} << 20;

struct StreamInfo {
    int32_t music_type = 0;  // the mixer's Mix_MusicType
    double length_s = -1;  // as a channel sound would measure it; -1: not measured
};

// The file (a regular file opened for reading) as a channel sound: its frames
// (22050 Hz, 16-bit stereo) in a block from SDL_malloc, which the caller owns,
// or null when the file is refused (not a sound, too large, or its decoder
// failed).
uint8_t* sound_decoder_load(int32_t fd, uint32_t* bytes);

// What a file name's extension tells the mixer of a stream's type: up to four
// characters after its last dot, upper case; 0 for none (the content tells).
uint32_t sound_decoder_extension(const char* path);

// Opens the file the way the mixer opens the stream (the extension first
// tells the type, as for Mix_LoadMUS), and with `measure` also its length as
// a channel sound. False when it is refused.
bool sound_decoder_probe(int32_t fd, uint32_t extension, bool measure, StreamInfo* info);

// Starts the stream's player: a child of its own playing the file from
// `start_s` (MP3 only; 0 otherwise), once or over and over. On success the
// player's output carries frames (22050 Hz, 16-bit stereo) until the stream
// ends; the caller stops the player (decoder_stream_stop).
bool sound_decoder_play(int32_t fd, uint32_t extension, bool loop, double start_s, DecoderStream* player);

// Ends the child kept at hand for the next file.
void sound_decoder_shutdown();
