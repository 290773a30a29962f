// The audio device: opened on the first use of any sound service.
#pragma once

// Opens the mixer the first time (22050 Hz, signed 16-bit, stereo, 1024-frame
// buffers, 256 channels) and queues the silent lead-in. True while sound
// works. When the device cannot be opened it says so once on stderr, and from
// then on every sound operation does nothing: the program goes on silent.
bool audio_open_once();
// True once the mixer is open (the event thread's services check it).
bool audio_is_open();
