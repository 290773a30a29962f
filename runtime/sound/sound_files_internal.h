// Sound files' start-up, the event thread's housekeeping and the tests' look at
// the channels.
#pragma once
#include <cstdint>
#include "runtime/sound/sound_files.h"

// Start-up: the restart reset stops all sound.
void sound_startup();
// Frees closed sounds that have ended and stops the stream at its time limit
// (event thread, every second pass).
void sound_housekeeping();

// The mixer channel of a channel-sound handle, -1 for any other (tests).
int32_t sound_channel_of(uint32_t handle);
