// The music stream (handle 1): opened after a decoder child has looked at the
// file, played by a player child of its own whose frames the program's mixer
// adds in, positioned by starting a new player where asked. Every function
// runs with the sound lock held (`lock`), which those that wait for a child
// let go meanwhile. Internal to runtime/sound.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

using SoundLockHolder = std::unique_lock<std::mutex>;

// Opens the file as the stream (the old stream is freed first). Returns 1, or
// 0 when the file is refused or SETPOS is asked of a stream that is no MP3.
uint32_t stream_open(const std::string& path, uint8_t caps, SoundLockHolder& lock);
// Plays from the start (or the pending position), once or over and over; a
// paused stream resumes instead when played once.
void stream_play(bool loop, SoundLockHolder& lock);
void stream_stop();
void stream_pause();
// Seconds of the stream really mixed since its start, from where it started.
double stream_position();
// Moves the stream to `seconds`: at once while it plays, else at its next play.
void stream_set_position(double seconds, SoundLockHolder& lock);
// The level the stream is mixed at from now on, 0..128.
void stream_set_level(int level);
// A stream whose player ended (its end, its time limit, or a player that
// died) is no longer playing.
void stream_refresh();
