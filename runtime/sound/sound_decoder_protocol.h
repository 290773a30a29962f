// What the program and its sound decoder child say to each other: fixed-size
// requests (each with the file handed along) and answers. Internal to
// runtime/sound.
#pragma once
#include "runtime/platform/decoder_child.h"
#include <cstdint>

constexpr uint32_t sound_request_magic = 0x444E534D;  // "MSND"
constexpr uint32_t sound_answer_magic = 0x524E534D;  // "MSNR"

enum SoundRequestKind : uint32_t {
    sound_request_load = 1,  // answer: the PCM's byte count, then the PCM
    sound_request_probe = 2,  // answer: the music type and the measured byte count
    sound_request_play = 3,  // answer, then PCM until the stream ends; the child plays nothing else
};

enum SoundRequestFlags : uint32_t {
    sound_flag_measure = 1,  // probe: also measure the length as a channel sound
    sound_flag_loop = 2,  // play: over and over
};

struct SoundRequest {
    uint32_t magic;
    uint32_t kind;
    uint32_t flags;
    uint32_t extension;  // up to four characters of the file name's extension, upper case; 0: none
    double start_s;  // play: where to start (MP3)
};

enum SoundAnswerStatus : uint32_t {
    sound_ok = 0,
    sound_unreadable = 1,
    sound_undecodable = 2,
    sound_too_large = 3,
    sound_no_mixer = 4,
};

struct SoundAnswer {
    uint32_t magic;
    uint32_t status;
    int32_t music_type;
    uint32_t reserved;
    uint64_t bytes;  // load: PCM bytes that follow; probe: measured bytes, or UINT64_MAX
};

// The sound decoder's entry (sound_decoder_child.cpp).
extern const DecoderEntry sound_decoder_entry;
