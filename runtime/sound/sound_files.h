// Sound files and channels: channel sounds (handles from 2, each on its own
// mixer channel) and the one music stream (handle 1), opened with a list of
// capabilities that decides what may be done with them.
// Every operation does nothing while a runtime error is pending; handle 0 is
// ignored (queries give 0); an unknown or closed handle, or a capability the
// sound was not opened with, is error 5.
#pragma once
#include <cstdint>

struct StrDesc;

// Opens a file (name and list consumed). The list holds "SYNC", "VOL",
// "PAUSE", "LEN" and "SETPOS", separated by commas, each at most once (error 5
// otherwise); null or empty for none. With SYNC the file becomes a channel
// sound (WAV, OGG, VOC, AIFF; read whole, at most 256 MiB of sound), else the
// music stream (1: WAV, OGG, MP3 at any rate, MOD, MIDI). Returns the handle,
// or 0 when the file cannot be played, all 256 channels are in use, or SETPOS
// cannot work (the stream is no MP3). Files are decoded in a helper process:
// one whose decoder crashes or takes too long gives 0 and the program goes on.
// Only regular files are read: a named pipe, a device or a folder gives 0 at
// once.
uint32_t sound_open(StrDesc* file, StrDesc* capabilities);
void sound_play(uint32_t handle);
// Plays over and over; error 5 when a limit is set.
void sound_loop(uint32_t handle);
void sound_stop(uint32_t handle);
// Needs PAUSE. sound_play resumes.
void sound_pause(uint32_t handle);
// -1 while paused, else 0 (needs PAUSE).
int32_t sound_paused(uint32_t handle);
// -1 while playing and not paused, else 0.
int32_t sound_playing(uint32_t handle);
// Needs VOL; volume 0..1 (else error 5) becomes mixer level 0..128.
void sound_volume(uint32_t handle, double volume);
// Needs VOL: a channel sound is placed at an angle and distance; the stream
// grows quieter with distance.
void sound_balance(uint32_t handle, double x, double y, double z);
// Seconds (needs LEN); -1 for a stream whose length could not be measured
// (an MP3).
double sound_length(uint32_t handle);
// Seconds since the sound started, 0 when it is not playing; still while
// paused. The stream's is where its sound really is: its start (or the
// position set) and the frames the mixer has played since.
double sound_position(uint32_t handle);
// The stream only, opened with SETPOS (an MP3), not looping: it goes on from
// `seconds` (paused if it was), or starts there at its next play when it is
// not playing. A stream stopped and played again starts from the beginning.
void sound_set_position(uint32_t handle, double seconds);
// Plays at most `seconds` (0: no limit), from the next play on.
void sound_limit(uint32_t handle, double seconds);
// A new handle sharing a channel sound's data, or 0 when no channel is free.
uint32_t sound_copy(uint32_t handle);
// Closes the handle; a sound still playing plays on and is freed after.
void sound_close(uint32_t handle);
// Frees the closed sounds that have stopped playing.
void sound_collect();
// Opens, plays and closes a file (name consumed): it is freed once it ends.
void sound_play_file(StrDesc* file, int32_t sync, double volume, int32_t volume_given);
// Plays a copy of a channel sound and closes the copy.
void sound_play_copy(uint32_t handle, double volume, int32_t volume_given);
// Empties the tone queue and stops and frees every sound (program end and
// the restart reset).
void sound_stop_all();
