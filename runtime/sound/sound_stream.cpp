// The music stream's life: the file looked at in a decoder child when opened,
// a player child started for each play and each move of the position, its
// frames mixed in by the stream player, and the player stopped and reaped
// when the stream stops, ends or is freed.
#include "runtime/sound/sound_stream.h"
#include "runtime/sound/sound_decoder.h"
#include "runtime/sound/sound_table.h"
#include "runtime/sound/stream_player.h"
#include "runtime/sound/tone_synth.h"
#include "runtime/platform/decoder_child.h"
#include <unistd.h>
#include <cmath>
#include <cstring>

namespace {

void halt(MusicStream& m) {
    stream_player_detach();
    decoder_stream_stop(&m.player);
}

// Frames from `start_s` to the time limit (never none: a limit already passed
// ends the stream at once).
uint64_t limit_frames(const MusicStream& m, bool loop, double start_s) {
    if (loop || !(m.limit_s > 0)) return 0;
    const double frames = std::ceil((m.limit_s - start_s) * tone_rate_hz);
    return frames < 1 ? 1 : static_cast<uint64_t>(frames);
}

// Starts a player at `start_s`; the lock is let go while the child starts.
bool start(MusicStream& m, bool loop, double start_s, bool paused, SoundLockHolder& lock) {
    const int32_t file = m.file;
    const uint32_t extension = m.extension;
    DecoderStream player;
    lock.unlock();
    const bool started = sound_decoder_play(file, extension, loop, start_s, &player);
    lock.lock();
    if (!started) return false;
    m.player = player;
    m.base_s = start_s;
    stream_player_attach(player.from_child, m.level, limit_frames(m, loop, start_s), paused);
    return true;
}

}  // namespace

uint32_t stream_open(const std::string& path, uint8_t caps, SoundLockHolder& lock) {
    music_stream_free();
    const int32_t file = decoder_open_regular(path.c_str());
    if (file < 0) return 0;
    const uint32_t extension = sound_decoder_extension(path.c_str());
    StreamInfo info;
    lock.unlock();
    const bool accepted = sound_decoder_probe(file, extension, caps & cap_len, &info);
    lock.lock();
    const bool mp3 = info.music_type == MUS_MP3 || info.music_type == MUS_MP3_MAD;
    if (!accepted || ((caps & cap_setpos) && !mp3)) {
        close(file);
        return 0;
    }
    MusicStream& m = music_stream();
    m.file = file;
    m.extension = extension;
    m.open = true;
    m.mp3 = mp3;
    m.length_s = (caps & cap_len) ? info.length_s : -1;
    m.caps = static_cast<uint8_t>(caps & ~cap_sync);
    return stream_handle;
}

void stream_play(bool loop, SoundLockHolder& lock) {
    MusicStream& m = music_stream();
    if (m.paused && !loop) {
        stream_player_pause(false);
        m.paused = false;
        return;
    }
    halt(m);
    m.playing = m.paused = m.looping = m.limit_active = false;
    if (loop) m.has_pending_position = false;
    const double start_s = m.has_pending_position ? m.pending_position_s : 0;
    if (!start(m, loop, start_s, false, lock)) return;
    m.has_pending_position = false;
    m.limit_active = !loop && m.limit_s > 0;
    m.playing = true;
    m.looping = loop;
}

void stream_stop() {
    MusicStream& m = music_stream();
    halt(m);
    m.playing = m.paused = m.looping = m.limit_active = false;
    m.has_pending_position = false;
}

void stream_pause() {
    MusicStream& m = music_stream();
    stream_refresh();
    if (m.paused || !m.playing) return;
    stream_player_pause(true);
    m.paused = true;
}

double stream_position() {
    MusicStream& m = music_stream();
    stream_refresh();
    if (!m.playing) return 0;
    return m.base_s + static_cast<double>(stream_player_frames()) / tone_rate_hz;
}

void stream_set_position(double seconds, SoundLockHolder& lock) {
    MusicStream& m = music_stream();
    stream_refresh();
    if (!m.playing) {
        m.has_pending_position = true;
        m.pending_position_s = seconds;
        return;
    }
    const bool paused = m.paused;
    halt(m);
    if (!start(m, false, seconds, paused, lock)) m.playing = m.paused = m.limit_active = false;
}

void stream_set_level(int level) {
    music_stream().level = level;
    stream_player_set_level(level);
}

void stream_refresh() {
    MusicStream& m = music_stream();
    if (!m.playing || !stream_player_ended()) return;
    halt(m);
    m.playing = m.paused = m.looping = m.limit_active = false;
}
