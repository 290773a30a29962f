// Tones and the tone queue: what the event loop calls each pass.
#pragma once

// Starts the next queued tone when it is due (event thread).
void tone_queue_service();
