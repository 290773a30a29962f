// The audio device: opened on the first use of any sound service.
#include "runtime/sound/audio.h"
#include "runtime/sound/tones_internal.h"
#include <SDL.h>
#include <SDL_mixer.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

enum AudioState : int { audio_closed, audio_open, audio_failed };

constexpr int mixer_rate_hz = 22050;
constexpr Uint16 mixer_format = 0x8010;  // signed 16-bit little-endian
constexpr int mixer_channels = 2;
constexpr int mixer_buffer_frames = 1024;
constexpr int mixing_channels = 256;

std::atomic<int> State{audio_closed};
std::mutex OpenLock;

void audio_close_at_exit() { Mix_CloseAudio(); }

void say_silent(const char* reason) {
    std::fprintf(stderr, "No sound: the audio device could not be opened (%s); the program goes on silent.\n", reason);
}

}  // namespace

bool audio_is_open() { return State.load(std::memory_order_acquire) == audio_open; }

void audio_unavailable(const char* reason) {
    std::lock_guard<std::mutex> guard(OpenLock);
    if (State.load(std::memory_order_acquire) != audio_closed) return;
    say_silent(reason);
    State.store(audio_failed, std::memory_order_release);
}

bool audio_open_once() {
    int state = State.load(std::memory_order_acquire);
    if (state != audio_closed) return state == audio_open;
    std::lock_guard<std::mutex> guard(OpenLock);
    state = State.load(std::memory_order_acquire);
    if (state != audio_closed) return state == audio_open;
    // A program run without the runtime's start-up (tests, tools) still has
    // sound: the audio subsystem is started here when nobody started it.
    bool ready = SDL_WasInit(SDL_INIT_AUDIO) || SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!ready || Mix_OpenAudio(mixer_rate_hz, mixer_format, mixer_channels, mixer_buffer_frames) != 0) {
        // Without a sound card the program still runs; it is silent.
        say_silent(ready ? Mix_GetError() : SDL_GetError());
        State.store(audio_failed, std::memory_order_release);
        return false;
    }
    std::atexit(audio_close_at_exit);
    Mix_AllocateChannels(mixing_channels);
    tone_queue_lead_in();
    State.store(audio_open, std::memory_order_release);
    return true;
}
