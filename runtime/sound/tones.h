// Tones and the tone queue: what the event loop and the text output call.
#pragma once

// Starts the next queued tone when it is due (event thread).
void tone_queue_service();
// Queues a tone in the background (frequency in Hz, duration in seconds).
void tone_play(double freq_hz, double duration_s, bool foreground);
