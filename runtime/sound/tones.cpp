// Tones and the tone queue. No tone is queued until the sound statements exist.
#include "runtime/sound/tones.h"

void tone_queue_service() {}
