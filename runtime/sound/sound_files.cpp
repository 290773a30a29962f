// Sound files and channels: opening with capability lists, playing, looping,
// pausing, volume and balance, length and position, copies and closing.
#include "runtime/sound/sound_files.h"
#include "runtime/sound/audio.h"
#include "runtime/sound/raw_samples.h"
#include "runtime/sound/sound_table.h"
#include "runtime/sound/tone_synth.h"
#include "runtime/sound/tones_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include <SDL.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Lock = std::unique_lock<std::mutex>;

constexpr uint32_t settle_ms = 100;  // the stream's decoder settles between seeks
constexpr int full_level = 128;

bool VolumeFailed = false;

// What a handle names.
struct Target {
    enum Kind { none, stream, channel, bad } kind;
    int slot;
};

bool sound_ready() { return error_code.load() == 0 && audio_open_once(); }

void consume(StrDesc* s) {
    if (s && s->is_temporary) str_free(s);
}

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
    runtime_error(5);
    return {Target::bad, -1};
}

uint8_t caps_of(const Target& t) { return t.kind == Target::stream ? music_stream().caps : sound_slot(t.slot).caps; }

// Resolves a handle that must carry `needed`; false for none, bad or missing.
bool resolve_with(uint32_t handle, uint8_t needed, Target& t) {
    t = resolve(handle);
    if (t.kind == Target::none || t.kind == Target::bad) return false;
    if ((caps_of(t) & needed) != needed) {
        runtime_error(5);
        return false;
    }
    return true;
}

// -1 for a list with an unknown or repeated item.
int parse_capabilities(std::string_view list) {
    int caps = 0;
    std::string all(list);
    for (char& c : all)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (all.find_first_not_of(' ') == std::string::npos) return 0;
    size_t start = 0;
    for (;;) {
        size_t comma = all.find(',', start);
        std::string item = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t first = item.find_first_not_of(' '), last = item.find_last_not_of(' ');
        item = first == std::string::npos ? "" : item.substr(first, last - first + 1);
        int bit = item == "SYNC" ? cap_sync : item == "VOL" ? cap_vol : item == "PAUSE" ? cap_pause
                : item == "LEN" ? cap_len : item == "SETPOS" ? cap_setpos : 0;
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
void refresh_stream(MusicStream& m) {
    if (m.playing && !m.looping && !Mix_PlayingMusic()) m.playing = m.paused = false;
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

int stream_level(const MusicStream& m) {
    const int level = whole(m.volume * 129.0);
    return whole(m.attenuation * (level > full_level ? full_level : level));
}

void settle(Lock& lock) {
    lock.unlock();
    SDL_Delay(settle_ms);
    lock.lock();
}

// A RIFF file whose chunks claim more bytes than it holds would have the
// mixer reserve what they claim (gigabytes for a header of a few bytes). The
// file's bytes with each size cut to what it holds: a cut-off recording still
// plays what it has. Empty when the file cannot be read; *cut tells whether
// a size was cut.
std::vector<uint8_t> file_bytes_cut(const std::string& path, bool* cut) {
    std::vector<uint8_t> bytes;
    *cut = false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t block[65536];
    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.insert(bytes.end(), block, block + n);
    std::fclose(f);
    if (bytes.size() > INT32_MAX) bytes.clear();
    auto size_at = [&](size_t at) {
        return uint32_t(bytes[at]) | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
    };
    auto cut_to = [&](size_t at, uint64_t held) {
        if (size_at(at) <= held) return false;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(held >> (8 * i));
        return *cut = true;
    };
    if (bytes.size() >= 12 && !std::memcmp(bytes.data(), "RIFF", 4) && !std::memcmp(bytes.data() + 8, "WAVE", 4)) {
        cut_to(4, bytes.size() - 8);
        for (uint64_t at = 12; at + 8 <= bytes.size();) {
            if (cut_to(at + 4, bytes.size() - at - 8)) break;
            at += 8 + uint64_t{size_at(at + 4)} + (size_at(at + 4) & 1);
        }
    }
    return bytes;
}

Mix_Chunk* chunk_load(const std::string& path) {
    bool cut;
    std::vector<uint8_t> bytes = file_bytes_cut(path, &cut);
    SDL_RWops* rw = bytes.empty() ? nullptr : SDL_RWFromMem(bytes.data(), static_cast<int>(bytes.size()));
    return rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;  // the chunk is decoded: the bytes may go
}

// The stream of a cut file plays from these bytes; a new stream replaces
// them only once the old one is freed.
std::vector<uint8_t> StreamBytes;

// The mixer's WAV stream reader frees the first chunk twice when it is not
// the format chunk (past "fact" and "LIST" chunks), and looks for the data
// chunk past the file's end for ever: such files are refused before it gets
// there. The bytes are a RIFF WAVE file with sizes cut.
bool wav_stream_readable(const std::vector<uint8_t>& bytes) {
    bool format = false;
    for (uint64_t at = 12; at + 8 <= bytes.size();) {
        const uint8_t* chunk = bytes.data() + at;
        if (format && !std::memcmp(chunk, "data", 4)) return true;
        if (!std::memcmp(chunk, "fmt ", 4)) format = true;
        else if (!format && std::memcmp(chunk, "fact", 4) && std::memcmp(chunk, "LIST", 4)) return false;
        at += 8 + (uint64_t(chunk[4]) | chunk[5] << 8 | chunk[6] << 16 | uint64_t(chunk[7]) << 24);
    }
    return false;
}

// A WAV file's source is ours, kept in the stream until its music is freed:
// the mixer closes it only on some of its failures. Other files go to the
// mixer by name, which also tells their type by the extension.
Mix_Music* music_load(const std::string& path, SDL_RWops** source) {
    char head[12] = {};
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        if (std::fread(head, 1, sizeof head, f) != sizeof head) head[0] = 0;
        std::fclose(f);
    }
    if (std::memcmp(head, "RIFF", 4) || std::memcmp(head + 8, "WAVE", 4)) return Mix_LoadMUS(path.c_str());
    bool cut = false;
    std::vector<uint8_t> bytes = file_bytes_cut(path, &cut);
    if (!wav_stream_readable(bytes)) return nullptr;
    if (cut) {
        StreamBytes = std::move(bytes);
        *source = SDL_RWFromConstMem(StreamBytes.data(), static_cast<int>(StreamBytes.size()));
    } else {
        *source = SDL_RWFromFile(path.c_str(), "rb");
    }
    Mix_Music* music = *source ? Mix_LoadMUSType_RW(*source, MUS_WAV, 0) : nullptr;
    if (!music && *source) {
        SDL_RWclose(*source);
        *source = nullptr;
    }
    return music;
}

uint32_t open_channel(const std::string& path, int caps) {
    if (caps & cap_setpos) return 0;
    int slot = sound_slot_take();
    if (slot < 0) return 0;
    Mix_Chunk* chunk = chunk_load(path);
    if (!chunk) return 0;
    SoundSlot& s = sound_slot(slot);
    s.chunk = chunk;
    s.length_s = chunk->alen / static_cast<double>(tone_bytes_per_second);
    s.handle = sound_handle_next();
    s.caps = static_cast<uint8_t>(caps);
    return s.handle;
}

uint32_t open_stream(const std::string& path, int caps) {
    MusicStream& m = music_stream();
    if (m.open && !m.closed) {
        runtime_error(5);
        return 0;
    }
    music_stream_free();
    if (caps & cap_len) {
        if (Mix_Chunk* probe = chunk_load(path)) {
            m.length_s = probe->alen / static_cast<double>(tone_bytes_per_second);
            Mix_FreeChunk(probe);
        }
    }
    SDL_RWops* source = nullptr;
    Mix_Music* music = music_load(path, &source);
    if (!music) return 0;
    Mix_VolumeMusic(full_level);
    m.music = music;
    m.source = source;
    m.open = true;
    m.volume = m.attenuation = 1.0f;
    m.caps = static_cast<uint8_t>(caps & ~cap_sync);
    // Debian's mixer decodes MP3 with its own decoder and reports that type.
    Mix_MusicType type = Mix_GetMusicType(music);
    m.mp3 = type == MUS_MP3 || type == MUS_MP3_MAD;
    if ((caps & cap_setpos) && !m.mp3) {
        music_stream_free();
        return 0;
    }
    return stream_handle;
}

void stop_target(const Target& t) {
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        Mix_HaltChannel(t.slot);
        s.playing = s.paused = s.looping = false;
    } else if (t.kind == Target::stream) {
        MusicStream& m = music_stream();
        Mix_HaltMusic();
        m.playing = m.paused = m.looping = m.limit_active = false;
        m.has_pending_position = false;
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
    MusicStream& m = music_stream();
    if (m.paused && loops == 0) {
        Mix_ResumeMusic();
        m.start_ticks += now - m.pause_ticks;
        m.paused = false;
        return;
    }
    Mix_HaltMusic();
    m.playing = m.paused = m.looping = false;
    if (loops != 0) m.has_pending_position = false;
    if (Mix_PlayMusic(m.music, loops) != 0) return;
    m.limit_active = loops == 0 && m.limit_s > 0;
    m.start_ticks = now;
    m.playing = true;
    m.looping = loops != 0;
    if (m.has_pending_position) {
        const double position = m.pending_position_s;
        m.has_pending_position = false;
        settle(lock);
        Mix_SetMusicPosition(position);
        m.start_ticks -= static_cast<uint32_t>(std::lround(position * 1000));
    }
}

double position_of(const Target& t) {
    const uint32_t now = SDL_GetTicks();
    bool playing, paused;
    uint32_t start, pause;
    if (t.kind == Target::channel) {
        SoundSlot& s = sound_slot(t.slot);
        refresh_channel(s, t.slot);
        playing = s.playing, paused = s.paused, start = s.start_ticks, pause = s.pause_ticks;
    } else {
        MusicStream& m = music_stream();
        refresh_stream(m);
        playing = m.playing, paused = m.paused, start = m.start_ticks, pause = m.pause_ticks;
    }
    if (!playing) return 0;
    return static_cast<uint32_t>((paused ? pause : now) - start) / 1000.0;
}

bool set_volume(const Target& t, double volume) {
    if (!(volume >= 0 && volume <= 1)) {
        VolumeFailed = true;
        runtime_error(5);
        return false;
    }
    if ((caps_of(t) & cap_vol) == 0) {
        runtime_error(5);
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
        Mix_VolumeMusic(whole(level * m.attenuation));
    }
    return true;
}

void collect_locked() {
    MusicStream& m = music_stream();
    if (m.open && m.closed) {
        refresh_stream(m);
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

uint32_t open_locked(StrDesc* file, StrDesc* capabilities) {
    const std::string path(str_view(file));
    const int caps = parse_capabilities(str_view(capabilities));
    consume(file);
    consume(capabilities);
    if (caps < 0) {
        runtime_error(5);
        return 0;
    }
    return caps & cap_sync ? open_channel(path, caps) : open_stream(path, caps);
}

}  // namespace

uint32_t sound_open(StrDesc* file, StrDesc* capabilities) {
    if (!sound_ready()) {
        consume(file);
        consume(capabilities);
        return 0;
    }
    std::lock_guard<std::mutex> guard(sound_lock());
    return open_locked(file, capabilities);
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
        runtime_error(5);
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
        MusicStream& m = music_stream();
        refresh_stream(m);
        if (m.paused || !m.playing) return;
        Mix_PauseMusic();
        m.pause_ticks = SDL_GetTicks();
        m.paused = true;
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
        MusicStream& m = music_stream();
        refresh_stream(m);
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
    Mix_VolumeMusic(stream_level(m));
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
        runtime_error(5);
        return;
    }
    refresh_stream(m);
    if (!m.playing) {
        m.has_pending_position = true;
        m.pending_position_s = seconds;
        return;
    }
    settle(lock);
    Mix_RewindMusic();
    settle(lock);
    Mix_SetMusicPosition(seconds);
    const uint32_t now = SDL_GetTicks();
    m.start_ticks = now - static_cast<uint32_t>(std::lround(seconds * 1000));
    if (m.paused) m.pause_ticks = now;
}

void sound_limit(uint32_t handle, double seconds) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::none || t.kind == Target::bad) return;
    if (!(seconds >= 0)) {
        runtime_error(5);
        return;
    }
    if (t.kind == Target::channel)
        sound_slot(t.slot).limit_ms = seconds * 1000 >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(seconds * 1000);
    else
        music_stream().limit_s = seconds;
}

uint32_t sound_copy(uint32_t handle) {
    if (!sound_ready()) return 0;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::stream) runtime_error(5);
    return t.kind == Target::channel ? copy_locked(t) : 0;
}

void sound_close(uint32_t handle) {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::channel) sound_slot(t.slot).closed = true;
    else if (t.kind == Target::stream) music_stream().closed = true;
    collect_locked();
}

void sound_collect() {
    if (!sound_ready()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    collect_locked();
}

void sound_play_file(StrDesc* file, int32_t sync, double volume, int32_t volume_given) {
    if (!sound_ready()) {
        consume(file);
        return;
    }
    if (volume_given && !(volume >= 0 && volume <= 1)) {
        consume(file);
        runtime_error(5);
        return;
    }
    const bool set = volume_given && volume != 1;
    const char* list = sync ? (set ? "SYNC,VOL" : "SYNC") : (set ? "VOL" : "");
    Lock lock(sound_lock());
    const uint32_t handle = open_locked(file, str_from_cstring(list));
    if (handle == 0) return;
    Target t = resolve(handle);
    if (set) set_volume(t, volume);
    play_target(t, 0, lock);
    if (t.kind == Target::channel) sound_slot(t.slot).closed = true;
    else music_stream().closed = true;
    collect_locked();
}

void sound_play_copy(uint32_t handle, double volume, int32_t volume_given) {
    if (!sound_ready()) return;
    Lock lock(sound_lock());
    Target t = resolve(handle);
    if (t.kind == Target::stream) runtime_error(5);
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
        Mix_HaltMusic();
        music_stream_free();
        for (int i = 0; i < sound_slot_count; ++i) sound_slot_free(i);
    }
    raw_samples_stop();
}

void sound_startup() { program_reset_hook_add(sound_stop_all); }

void sound_housekeeping() {
    if (!audio_is_open()) return;
    std::lock_guard<std::mutex> guard(sound_lock());
    MusicStream& m = music_stream();
    if (m.open && !m.closed && m.limit_active && position_of({Target::stream, -1}) >= m.limit_s) {
        stop_target({Target::stream, -1});
        m.limit_active = false;
    }
    collect_locked();
}

int32_t sound_channel_of(uint32_t handle) {
    std::lock_guard<std::mutex> guard(sound_lock());
    int slot = sound_slot_of(handle);
    return slot >= 0 && !sound_slot(slot).tone ? slot : -1;
}
