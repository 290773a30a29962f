// What the rest of runtime/sound needs of the tone queue.
#pragma once
#include <cstdint>
#include "runtime/sound/tones.h"

// --- For the rest of the runtime and the tests ---
// Starts the next queued tone when the one before it has finished (event
// thread, every pass).
void tone_queue_service();
// Queues a tone (frequency in Hz, duration in seconds); in foreground mode the
// program waits at its next statement check until the tone starts.
void tone_play(double freq_hz, double duration_s, bool foreground);

// --- Shared by the subject's own files ---
// Queues the 32768-byte silent lead-in (the mixer has just opened).
void tone_queue_lead_in();
// Wraps generated frames (malloc'd, owned from here on) as a channel sound and
// queues it; in foreground mode the program waits at its next statement check
// until the queue reaches it. Dropped silently when no handle is free.
void tone_queue_push(uint8_t* data, uint32_t byte_length, bool foreground);
// Empties the queue and releases a program waiting for it (sound lock held).
void tone_queue_clear_locked();
