// The music stream in the program's mixer: frames a player child decoded
// (runtime/sound/sound_decoder.h) are read from its pipe by the mixer's audio
// thread after each buffer it mixed, scaled by the stream's level and added
// in. The stream's position is the frames really mixed. Internal to
// runtime/sound; every function takes the audio lock.
#pragma once
#include <cstdint>

// Mixes from the pipe `fd` (made non-blocking here; the caller keeps it) from
// now on, at `level` (0..128), stopping by itself after `limit_frames`
// (0: no limit). Paused when `paused`.
void stream_player_attach(int32_t fd, int level, uint64_t limit_frames, bool paused);
// Stops reading the pipe; nothing of it is mixed any more.
void stream_player_detach();
void stream_player_pause(bool paused);
void stream_player_set_level(int level);
// Frames mixed since the attach.
uint64_t stream_player_frames();
// True once the pipe ended (the stream's end, or its player died) or the
// limit was reached.
bool stream_player_ended();
