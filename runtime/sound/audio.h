// The audio device: opened on the first use of any sound service.
#pragma once

// Opens the mixer the first time (22050 Hz, signed 16-bit, stereo, 1024-frame
// buffers, 256 channels) and queues the silent lead-in. True while sound
// works. When the device cannot be opened it says so once on stderr, and from
// then on every sound operation does nothing: the program goes on silent.
bool audio_open_once();
// True once the mixer is open (the event thread's services check it).
bool audio_is_open();
// Start-up found no audio driver that starts (a sound server that is not
// running, an unknown driver name): says so once on stderr, and the program
// goes on silent as it does without a sound card.
void audio_unavailable(const char* reason);
