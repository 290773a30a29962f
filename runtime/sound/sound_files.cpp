// Sound files and channels. No sound is open until the sound statements exist.
#include "runtime/sound/sound_files.h"

void sound_housekeeping() {}
