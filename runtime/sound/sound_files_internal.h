// Sound files' start-up, the event thread's housekeeping and the tests' look at
// the channels.
#pragma once
#include <cstdint>
#include "runtime/sound/sound_files.h"

// Start-up and shutdown: the shutdown stops every sound and ends the decoder
// child kept at hand.
void sound_startup();
void sound_shutdown();
// Frees closed sounds that have ended and stops the stream at its time limit
// (event thread, every second pass).
void sound_housekeeping();

// The mixer channel of a channel-sound handle, -1 for any other (tests).
int32_t sound_channel_of(uint32_t handle);
