// Sound files and channels: opening with capability lists, playing, looping,
// pausing, volume and balance, length and position, copies and closing.
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"
#include "runtime/sound/audio.h"
#include "runtime/sound/raw_samples.h"
#include "runtime/sound/sound_decoder.h"
#include "runtime/sound/sound_stream.h"
#include "runtime/sound/raw_samples_internal.h"
#include "runtime/sound/sound_table.h"
#include "runtime/sound/tone_synth.h"
#include "runtime/sound/tones_internal.h"
#include "runtime/core/code_page.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/platform/decoder_child.h"
#include <SDL.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Lock = std::unique_lock<std::mutex>;

constexpr int full_level = 128;

bool VolumeFailed = false;

// What a handle names.
struct Target {
    enum Kind { none, stream, channel, bad } kind;
    int slot;
};

bool sound_ready() { return !runtime_error_pending() && audio_open_once(); }

// Lock held. Handle 0 is none; anything unknown or closed is error 5.
Target resolve(uint32_t handle) {
    if (handle == 0) return {Target::none, -1};
    if (handle == stream_handle) {
        const MusicStream& m = music_stream();
        if (m.open && !m.closed) return {Target::stream, -1};
    } else {
        int slot = sound_slot_of(handle);
        if (slot >= 0 && !sound_slot(slot).tone && !sound_slot(slot).closed) return {Target::channel, slot};
    }
    runtime_error(error_illegal_function_call);
    return {Target::bad, -1};
}

uint8_t caps_of(const Target& t) { return t.kind == Target::stream ? music_stream().caps : sound_slot(t.slot).caps; }

// Resolves a handle that must carry `needed`; false for none, bad or missing.
bool resolve_with(uint32_t handle, uint8_t needed, Target& t) {
    t = resolve(handle);
    if (t.kind == Target::none || t.kind == Target::bad) return false;
    if ((caps_of(t) & needed) != needed) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    return true;
}

// -1 for a list with an unknown or repeated item.
int parse_capabilities(std::string_view list) {
    int caps = 0;
    std::string all(list);
    for (char& c : all) c = ascii_upper(c);
    if (all.find_first_not_of(' ') == std::string::npos) return 0;
    size_t start = 0;
    for (;;) {
        size_t comma = all.find(',', start);
        std::string item = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t first = item.find_first_not_of(' '), last = item.find_last_not_of(' ');
        item = first == std::string::npos ? "" : item.substr(first, last - first + 1);
        int bit = item == "SYNC" ? cap_sync
            : item == "VOL"      ? cap_vol
            : item == "PAUSE"    ? cap_pause
            : item == "LEN"      ? cap_len
            : item == "SETPOS"   ? cap_setpos
                                 : 0;
        if (bit == 0 || (caps & bit)) return -1;
        caps |= bit;
        if (comma == std::string::npos) return caps;
        start = comma + 1;
    }
}

// A channel that has gone quiet by itself is no longer playing.
void refresh_channel(SoundSlot& s, int slot) {
    if (s.playing && !s.looping && !Mix_Playing(slot)) s.playing = s.paused = false;
}

void apply_position(int slot, float x, float y, float z) {
    if (x == 0 && z == 0) z = 1;
    double angle = std::atan2(x, z) * 180.0 / std::numbers::pi;
    if (angle < 0) angle += 360;
    int degrees = static_cast<int>(std::floor(angle + 0.5));
    if (degrees == 360) degrees = 0;
    double distance = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    distance = distance < 1 ? 1 : distance > 999.9 ? 999.9 : distance;
    // The farthest distances round to 256, which as a byte would be 0, the
    // nearest: they stay at 255.
    const double step = std::nearbyint(distance / 3.90625);
    Mix_SetPosition(slot, static_cast<Sint16>(degrees), static_cast<Uint8>(step > 255 ? 255 : step));
}

// Halves round to even, as everywhere a value becomes a whole number.
int whole(double v) { return static_cast<int>(std::nearbyint(v)); }

// The file is decoded with the lock let go: a large file takes a while, and
// the event thread plays the tone queue meanwhile.
uint32_t open_channel(const std::string& path, int caps, Lock& lock) {
    if (caps & cap_setpos) return 0;
    const int32_t file = decoder_open_regular(path.c_str());
    if (file < 0) return 0;
    uint32_t bytes = 0;
    lock.unlock();
    uint8_t* samples = sound_decoder_load(file, &bytes);
    lock.lock();
    close(file);
    const int slot = samples ? sound_slot_take() : -1;
    Mix_Chunk* chunk = slot >= 0 ? Mix_QuickLoad_RAW(samples, bytes) : nullptr;
    if (!chunk) {
        SDL_free(samples);
        return 0;
    }
    chunk->allocated = 1;  // the mixer frees the frames with the chunk
    SoundSlot& s = sound_slot(slot);
    s.chunk = chunk;
    s.length_s = chunk->alen / static_cast<double>(tone_bytes_per_second);
    s.handle = sound_handle_next();
    s.caps = static_cast<uint8_t>(caps);
    return s.handle;
}

void stop_target(const Target& t) {
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        Mix_HaltChannel(t.slot);
        s.playing = s.paused = s.looping = false;
    } else if (t.kind == Target::stream) {
        stream_stop();
    }
}

void play_target(const Target& t, int loops, Lock& lock) {
    const uint32_t now = SDL_GetTicks();
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        if (s.paused && loops == 0) {
            Mix_Resume(t.slot);
            s.start_ticks += now - s.pause_ticks;
            s.paused = false;
            return;
        }
        Mix_HaltChannel(t.slot);
        s.playing = s.paused = s.looping = false;
        if (s.x != 0 || s.y != 0 || s.z != 0) apply_position(t.slot, s.x, s.y, s.z);
        int limit = loops == 0 && s.limit_ms ? static_cast<int>(s.limit_ms) : -1;
        if (Mix_PlayChannelTimed(t.slot, s.chunk, loops, limit) < 0) return;
        s.start_ticks = now;
        s.playing = true;
        s.looping = loops != 0;
        return;
    }
    stream_play(loops != 0, lock);
}

double position_of(const Target& t) {
    if (t.kind == Target::stream) return stream_position();
    SoundSlot& s = sound_slot(t.slot);
    refresh_channel(s, t.slot);
    if (!s.playing) return 0;
    return static_cast<uint32_t>((s.paused ? s.pause_ticks : SDL_GetTicks()) - s.start_ticks) / 1000.0;
}

bool set_volume(const Target& t, double volume) {
    if (!(volume >= 0 && volume <= 1)) {
        VolumeFailed = true;
        runtime_error(error_illegal_function_call);
        return false;
    }
    if ((caps_of(t) & cap_vol) == 0) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    int level = static_cast<int>(volume * 129);
    if (level > full_level) level = full_level;
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        s.volume = static_cast<float>(volume);
        Mix_Volume(t.slot, whole(level * s.attenuation));
    } else {
        MusicStream& m = music_stream();
        m.volume = static_cast<float>(volume);
        stream_set_level(whole(level * m.attenuation));
    }
    return true;
}

void collect_locked() {
    MusicStream& m = music_stream();
    if (m.open && m.closed) {
        stream_refresh();
        if (!m.playing) music_stream_free();
    }
    for (int i = 0; i < sound_slot_count; ++i) {
        SoundSlot& s = sound_slot(i);
        if (s.handle == 0 || s.tone || !s.closed) continue;
        refresh_channel(s, i);
        if (!s.playing) sound_slot_free(i);
    }
}

uint32_t copy_locked(const Target& t) {
    int slot = sound_slot_take();
    if (slot < 0) return 0;
    const SoundSlot& from = sound_slot(t.slot);
    SoundSlot& s = sound_slot(slot);
    s.chunk = from.chunk;
    s.caps = from.caps;
    s.length_s = from.length_s;
    s.handle = sound_handle_next();
    return s.handle;
}

uint32_t open_locked(StrDesc* file, StrDesc* capabilities, Lock& lock) {
    const std::string path(str_view(file));
    const int caps = parse_capabilities(str_view(capabilities));
    str_consume(file);
    str_consume(capabilities);
    if (caps < 0) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    if (caps & cap_sync) return open_channel(path, caps, lock);
    if (music_stream().open && !music_stream().closed) {
        runtime_error(error_illegal_function_call);  // one stream at a time
        return 0;
    }
    return stream_open(path, static_cast<uint8_t>(caps), lock);
}

}  // namespace

uint32_t sound_open(StrDesc* file, StrDesc* capabilities) {
    if (!sound_ready()) {
        str_consume(file);
        str_consume(capabilities);
        return 0;
    }
    Lock lock(sound_lock());
    return open_locked(file, capabilities, lock);
}

void sound_play(uint32_t handle) {
    if (!sound_ready()) return;
    Lock lock(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::channel || t.kind == Target::stream) play_target(t, 0, lock);
}

void sound_loop(uint32_t handle) {
    if (!sound_ready()) return;
    Lock lock(sound_lock());
    Target t = resolve(handle);
    if (t.kind != Target::channel && t.kind != Target::stream) return;
    bool limited = t.kind == Target::channel ? sound_slot(t.slot).limit_ms != 0 : music_stream().limit_s > 0;
    if (limited) {
        runtime_error(error_illegal_function_call);
        return;
    }
    stop_target(t);
    play_target(t, -1, lock);
}

void sound_stop(uint32_t handle) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    stop_target(resolve(handle));
}

void sound_pause(uint32_t handle) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t;
    if (!resolve_with(handle, cap_pause, t)) return;
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        refresh_channel(s, t.slot);
        if (s.paused || !s.playing) return;
        Mix_Pause(t.slot);
        s.pause_ticks = SDL_GetTicks();
        s.paused = true;
    } else {
        stream_pause();
    }
}

int32_t sound_paused(uint32_t handle) {
    if (!sound_ready()) return 0;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t;
    if (!resolve_with(handle, cap_pause, t)) return 0;
    bool paused = t.kind == Target::channel ? sound_slot(t.slot).paused : music_stream().paused;
    return paused ? -1 : 0;
}

int32_t sound_playing(uint32_t handle) {
    if (!sound_ready()) return 0;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        refresh_channel(s, t.slot);
        return s.playing && !s.paused ? -1 : 0;
    }
    if (t.kind == Target::stream) {
        stream_refresh();
        const MusicStream& m = music_stream();
        return m.playing && !m.paused ? -1 : 0;
    }
    return 0;
}

void sound_volume(uint32_t handle, double volume) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::channel || t.kind == Target::stream) set_volume(t, volume);
}

void sound_balance(uint32_t handle, double x, double y, double z) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t;
    if (!resolve_with(handle, cap_vol, t)) return;
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        if (x == 0 && z == 0) z = 1;
        s.x = static_cast<float>(x), s.y = static_cast<float>(y), s.z = static_cast<float>(z);
        apply_position(t.slot, s.x, s.y, s.z);
        return;
    }
    MusicStream& m = music_stream();
    double d = std::sqrt(x * x + y * y + z * z);
    if (!(d >= 1)) d = 0;
    if (d > 1000) d = 1000;
    m.attenuation = static_cast<float>((1000 - d) / 1000);
    const int level = whole(m.volume * 129.0);
    stream_set_level(whole(m.attenuation * (level > full_level ? full_level : level)));
}

double sound_length(uint32_t handle) {
    if (!sound_ready()) return 0;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t;
    if (!resolve_with(handle, cap_len, t)) return 0;
    return t.kind == Target::channel ? sound_slot(t.slot).length_s : music_stream().length_s;
}

double sound_position(uint32_t handle) {
    if (!sound_ready()) return 0;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind != Target::channel && t.kind != Target::stream) return 0;
    return position_of(t);
}

void sound_set_position(uint32_t handle, double seconds) {
    if (!sound_ready()) return;
    Lock lock(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::none || t.kind == Target::bad) return;
    MusicStream& m = music_stream();
    if (!(seconds >= 0) || t.kind != Target::stream || !(m.caps & cap_setpos) || !m.mp3 || m.looping) {
        runtime_error(error_illegal_function_call);
        return;
    }
    stream_set_position(seconds, lock);
}

void sound_limit(uint32_t handle, double seconds) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::none || t.kind == Target::bad) return;
    if (!(seconds >= 0)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (t.kind == Target::channel)
        sound_slot(t.slot).limit_ms = seconds * 1000 >= 4294967295.0 ? 4294967295u
                                                                     : static_cast<uint32_t>(seconds * 1000);
    else
        music_stream().limit_s = seconds;
}

uint32_t sound_copy(uint32_t handle) {
    if (!sound_ready()) return 0;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::stream) runtime_error(error_illegal_function_call);
    return t.kind == Target::channel ? copy_locked(t) : 0;
}

void sound_close(uint32_t handle) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::channel)
        sound_slot(t.slot).closed = true;
    else if (t.kind == Target::stream)
        music_stream().closed = true;
    collect_locked();
}

void sound_collect() {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    collect_locked();
}

void sound_play_file(StrDesc* file, int32_t sync, double volume, int32_t volume_given) {
    if (!sound_ready()) {
        str_consume(file);
        return;
    }
    if (volume_given && !(volume >= 0 && volume <= 1)) {
        str_consume(file);
        runtime_error(error_illegal_function_call);
        return;
    }
    const bool set = volume_given && volume != 1;
    const char* list = sync ? (set ? "SYNC,VOL" : "SYNC") : (set ? "VOL" : "");
    Lock lock(sound_lock());
    const uint32_t handle = open_locked(file, str_from_cstring(list), lock);
    if (handle == 0) return;
    Target t = resolve(handle);
    if (set) set_volume(t, volume);
    play_target(t, 0, lock);
    if (t.kind == Target::channel)
        sound_slot(t.slot).closed = true;
    else
        music_stream().closed = true;
    collect_locked();
}

void sound_play_copy(uint32_t handle, double volume, int32_t volume_given) {
    if (!sound_ready()) return;
    Lock lock(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::stream) runtime_error(error_illegal_function_call);
    if (t.kind != Target::channel) return;
    const uint32_t copy = copy_locked(t);
    if (copy == 0) return;
    Target c{Target::channel, sound_slot_of(copy)};
    VolumeFailed = false;
    bool play = true;
    if (volume_given) {
        // The copy carries the original's capabilities; without VOL the
        // volume cannot be set and the copy is not played.
        play = set_volume(c, volume) && !VolumeFailed;
    }
    if (play) play_target(c, 0, lock);
    sound_slot(c.slot).closed = true;
    collect_locked();
}

void sound_stop_all() {
    if (!audio_is_open()) return;
    {
        std::lock_guard<std::mutex> guard(sound_lock());
        tone_queue_clear_locked();
        music_stream_free();
        for (int i = 0; i < sound_slot_count; ++i) sound_slot_free(i);
    }
    raw_samples_stop();
}

// Nothing to prepare: the channels open with the first sound.
void sound_startup() {}

void sound_shutdown() {
    sound_stop_all();
    sound_decoder_shutdown();
}

void sound_housekeeping() {
    if (!audio_is_open()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    // A stream at its time limit (the mixer stops it there) or at its end
    // gives its player back.
    if (music_stream().open) stream_refresh();
    collect_locked();
}

int32_t sound_channel_of(uint32_t handle) {
    std::lock_guard<std::mutex> guard(sound_lock());
    int slot = sound_slot_of(handle);
    return slot >= 0 && !sound_slot(slot).tone ? slot : -1;
}
