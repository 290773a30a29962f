// The raw sample stream: frames a program writes one by one, played through
// the mixer's music hook.
#pragma once
#include <cstdint>

// Writes one frame: values in -1..1 (the right one is the left one again when
// it is not given). The hook starts once 16384 bytes wait to be played.
void raw_sample_push(double left, double right, int32_t right_given);
// Seconds of frames waiting to be played; 0 while the hook is not playing.
double raw_queued_seconds();
// Frames a second the stream plays (22050).
int32_t raw_sample_rate();
