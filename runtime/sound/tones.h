// Tones, the beep, the tone statement and music strings, and the tone queue
// the event thread plays them from.
#pragma once
#include <cstdint>

struct StrDesc;

// The beep statement, and character 7 printed: 783.99 Hz for 0.2 s, in the
// background.
void sound_beep();
// The tone statement: frequency 0 (silence) or 37..32767 Hz, duration in clock
// ticks (18.2 a second) 0..65535, else error 5. The program goes on as the
// tone starts.
void sound_tone(double freq_hz, double duration_ticks);
// The music-string statement (the string is consumed). Every error in the
// string is error 5; what was queued before it stays queued.
void music_play(StrDesc* text);
// The block "=" references in music strings read from (the program's
// variables); null for none.
void music_variables_set(const void* base, uint32_t bytes);

// True when nothing is queued and the last tone has finished.
bool tone_queue_idle();
// Waits until tone_queue_idle holds, at most timeout_ms (program thread).
bool tone_queue_wait_idle(uint32_t timeout_ms);
