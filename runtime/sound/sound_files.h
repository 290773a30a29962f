// Sound files and channels: what the event loop calls each pass.
#pragma once

// Ends finished channel sounds and keeps the music stream going (event thread).
void sound_housekeeping();
