// Tones and the tone queue. Until tone synthesis exists a queued tone is
// silent; the callers keep their timing.
#include "runtime/sound/tones.h"

void tone_queue_service() {}

void tone_play(double, double, bool) {}
