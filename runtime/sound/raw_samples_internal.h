// The raw sample ring's stop and size.
#pragma once
#include <cstdint>
#include "runtime/sound/raw_samples.h"

// Stops the stream and frees its ring (sound_stop_all).
void raw_samples_stop();
// Bytes the ring holds now, 0 when it has none (tests).
uint32_t raw_ring_size();
