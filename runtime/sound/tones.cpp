// Tones and the tone queue: generated chunks played one after another by the
// event thread, the beep, the tone statement and the music-string statement.
#include "runtime/sound/tones.h"
#include "runtime/sound/audio.h"
#include "runtime/sound/music.h"
#include "runtime/sound/sound_table.h"
#include "runtime/sound/tone_synth.h"
#include "runtime/sound/tones_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include <atomic>
#include <cmath>
#include <cstdlib>

namespace {

constexpr uint32_t tone_queue_size = 10000;
constexpr uint32_t lead_in_bytes = 32768;  // about 0.37 s of silence
constexpr uint32_t marker_bytes = tone_frame_bytes;
constexpr uint8_t pause_for_sound = 2;
constexpr double beep_freq_hz = 783.99;
constexpr double beep_seconds = 0.2;
constexpr double ticks_per_second = 18.2;
// Generated sound the queue holds at most (about 12.7 minutes): a music
// string whose sound would pass it is an error, so a runaway string costs
// bounded memory and time.
constexpr uint64_t music_room_bytes = uint64_t{64} << 20;

// Written by the program thread (write index, foreground mark) and the event
// thread (read index, clearing the mark), each under the sound lock; the
// indexes are atomic so that an idle pass looks without taking the lock.
struct ToneQueue {
    uint32_t handles[tone_queue_size];
    std::atomic<uint32_t> write{0};
    std::atomic<uint32_t> read{0};
    bool started = false;
    std::atomic<bool> holds_last{false};  // the last started tone still has its slot
    int32_t foreground_mark = -1;
};

ToneQueue Queue;
MusicState Music;
MusicVariables Variables;
std::atomic<uint32_t> IdleWaiters{0};

void release_program() {
    pause_flags.fetch_and(static_cast<uint8_t>(~pause_for_sound));
    program_wakeup.signal();
}

uint32_t before(uint32_t index) { return index == 0 ? tone_queue_size - 1 : index - 1; }

// The slot of the tone started last, or -1.
int last_started_slot() {
    if (!Queue.started) return -1;
    return sound_slot_of(Queue.handles[before(Queue.read.load())]);
}

void start_slot(uint32_t index) {
    if (Queue.foreground_mark == static_cast<int32_t>(index)) {
        Queue.foreground_mark = -1;
        release_program();
    }
    int slot = sound_slot_of(Queue.handles[index]);
    // A start the mixer refuses leaves the channel idle: the next pass goes on.
    if (slot >= 0) Mix_PlayChannel(slot, sound_slot(slot).chunk, 0);
    Queue.started = true;
    Queue.holds_last = true;
    Queue.read.store((index + 1) % tone_queue_size, std::memory_order_release);
}

class QueueSink : public MusicSink {
public:
    void chunk(uint8_t* data, uint32_t byte_length) override { tone_queue_push(data, byte_length, false); }
    void marker() override {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples handed to SDL_mixer, which frees them
        auto* silent = static_cast<uint8_t*>(std::calloc(1, marker_bytes));
        if (silent) tone_queue_push(silent, marker_bytes, true);
    }
    uint64_t room_bytes() override {
        std::lock_guard<std::mutex> guard(sound_lock());
        uint64_t held = sound_generated_bytes();
        return held < music_room_bytes ? music_room_bytes - held : 0;
    }
};

}  // namespace

void tone_queue_push(uint8_t* data, uint32_t byte_length, bool foreground) {
    std::lock_guard<std::mutex> guard(sound_lock());
    const uint32_t w = Queue.write.load();
    const uint32_t next = (w + 1) % tone_queue_size;
    int slot = next == Queue.read.load() ? -1 : sound_slot_take();
    Mix_Chunk* chunk = slot >= 0 ? Mix_QuickLoad_RAW(data, byte_length) : nullptr;
    if (!chunk) {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples handed to SDL_mixer, which frees them
        std::free(data);
        return;
    }
    SoundSlot& s = sound_slot(slot);
    s.handle = sound_handle_next();
    s.chunk = chunk;
    s.samples = data;
    s.sample_bytes = byte_length;
    s.tone = true;
    s.length_s = byte_length / static_cast<double>(tone_bytes_per_second);
    sound_generated_add(byte_length);
    if (foreground) {
        Queue.foreground_mark = static_cast<int32_t>(w);
        pause_flags.fetch_or(pause_for_sound);
        event_pending_raise();
    }
    Queue.handles[w] = s.handle;
    Queue.write.store(next, std::memory_order_release);
}

void tone_queue_lead_in() {
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples handed to SDL_mixer, which frees them
    auto* silent = static_cast<uint8_t*>(std::calloc(1, lead_in_bytes));
    if (silent) tone_queue_push(silent, lead_in_bytes, false);
}

void tone_queue_clear_locked() {
    Queue.read = 0;
    Queue.write = 0;
    Queue.started = false;
    Queue.holds_last = false;
    Queue.foreground_mark = -1;
    if (pause_flags.load() & pause_for_sound) release_program();
}

void tone_queue_service() {
    if (!audio_is_open()) return;
    if (Queue.read.load(std::memory_order_acquire) == Queue.write.load(std::memory_order_acquire) &&
        !Queue.holds_last.load())
        return;
    std::lock_guard<std::mutex> guard(sound_lock());
    const uint32_t r = Queue.read.load();
    int last = last_started_slot();
    if (last >= 0 && Mix_Playing(last)) return;
    // The tone before is over: its slot goes back, and the next one starts.
    if (last >= 0) sound_slot_free(last);
    if (r == Queue.write.load()) {
        Queue.holds_last = false;
        if (IdleWaiters.load()) program_wakeup.signal();
        return;
    }
    start_slot(r);
}

bool tone_queue_idle() {
    std::lock_guard<std::mutex> guard(sound_lock());
    if (Queue.read.load() != Queue.write.load()) return false;
    int last = last_started_slot();
    return last < 0 || !Mix_Playing(last);
}

bool tone_queue_wait_idle(uint32_t timeout_ms) {
    if (!audio_is_open()) return true;
    IdleWaiters.fetch_add(1);
    bool idle = wait_until(
        program_wakeup, [] { return tone_queue_idle(); }, timeout_ms, 50);
    IdleWaiters.fetch_sub(1);
    return idle;
}

void tone_play(double freq_hz, double duration_s, bool foreground) {
    if (!audio_open_once()) return;
    if (!std::isfinite(freq_hz) || !std::isfinite(duration_s)) return;
    ToneBuffer tone = tone_synthesise(freq_hz, duration_s, 1.0);
    if (tone.data) tone_queue_push(tone.data, tone.byte_length, foreground);
}

void sound_beep() { tone_play(beep_freq_hz, beep_seconds, false); }

void sound_tone(double freq_hz, double duration_ticks) {
    if (!audio_open_once() || runtime_error_pending()) return;
    const bool freq_ok = freq_hz == 0 || (freq_hz >= 37 && freq_hz <= 32767);
    const bool duration_ok = duration_ticks >= 0 && duration_ticks <= 65535;
    if (!freq_ok || !duration_ok) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (duration_ticks == 0) return;
    tone_play(freq_hz, duration_ticks / ticks_per_second, true);
}

void music_play(StrDesc* text) {
    if (!runtime_error_pending() && audio_open_once()) {
        std::string_view bytes = str_view(text);
        QueueSink sink;
        if (!music_interpret(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()), Music,
                             sink, Variables))
            runtime_error(error_illegal_function_call);
    }
    str_consume(text);
}

void music_variables_set(const void* base, uint32_t bytes) {
    Variables.base = static_cast<const uint8_t*>(base);
    Variables.bytes = base ? bytes : 0;
}
