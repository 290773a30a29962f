// What the rest of runtime/sound needs of the tone queue.
#pragma once
#include <cstdint>

// Queues the 32768-byte silent lead-in (the mixer has just opened).
void tone_queue_lead_in();
// Wraps generated frames (malloc'd, owned from here on) as a channel sound and
// queues it; in foreground mode the program waits at its next statement check
// until the queue reaches it. Dropped silently when no handle is free.
void tone_queue_push(uint8_t* data, uint32_t byte_length, bool foreground);
// Empties the queue and releases a program waiting for it (sound lock held).
void tone_queue_clear_locked();
