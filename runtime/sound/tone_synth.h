// Tone synthesis: the triangle wave every generated sound is made of, as 16-bit
// stereo frames at the mixer's rate.
#pragma once
#include <cstdint>

constexpr uint32_t tone_rate_hz = 22050;
constexpr uint32_t tone_frame_bytes = 4;  // left and right, 16 bits each
constexpr uint32_t tone_bytes_per_second = tone_rate_hz * tone_frame_bytes;

// A generated sound: malloc'd frames, owned by whoever holds it.
struct ToneBuffer {
    uint8_t* data;
    uint32_t byte_length;  // what is played: cut to the last rising zero crossing
};

// Frames a tone of `seconds` takes before its cut: 22050 x seconds rounded,
// at least 1.
uint32_t tone_frames(double seconds);
// Frames of a silence of `seconds`: the whole frames in it, at least 1.
uint32_t tone_silence_frames(double seconds);

// Writes a triangle wave of freq_hz and volume (0..1) into `frames` frames of
// `out`. Returns the frames the tone keeps: up to its last rising zero
// crossing when it has one, so that a tone ends where it began.
uint32_t tone_render(double freq_hz, double volume, int16_t* out, uint32_t frames);

// A new buffer holding the tone (null data when memory ran out).
ToneBuffer tone_synthesise(double freq_hz, double seconds, double volume);
