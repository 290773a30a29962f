// A stream's player, inside the sound decoder child: the mixer plays the music
// into nothing as fast as the program takes it, and every mixed buffer goes
// down the pipe in the program's format. An MP3 is played at its own rate and
// converted here (the mixer's MP3 decoder breaks on converting rates itself),
// and starts where asked to the sample: the decoder skips whole frames, the
// rest is dropped here.
#include "runtime/sound/mpeg_frames.h"
#include "runtime/sound/rate_converter.h"
#include "runtime/sound/sound_child.h"
#include <SDL.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <cmath>
#include <memory>

namespace {

constexpr int output_rate_hz = 22050;
constexpr uint32_t watch_ms = 50;
// Processor time a stream that makes progress may use from each look on.
constexpr uint32_t progress_cpu_seconds = 10;

struct Capture {
    int32_t output = -1;
    uint32_t channels = 2;
    uint64_t discard = 0;  // frames still to drop before the start
    std::unique_ptr<RateConverter> converter;  // null: already the program's format
    std::vector<int16_t> converted;
    std::atomic<bool> done{false};
    std::atomic<bool> writing{false};
    std::atomic<uint64_t> written{0};
};

bool silent_frame(const int16_t* frame, uint32_t channels) {
    for (uint32_t c = 0; c < channels; ++c)
        if (frame[c] != 0) return false;
    return true;
}

// The mixer's audio thread, after each buffer it mixed.
void capture(void* context, Uint8* stream, int len) {
    Capture& c = *static_cast<Capture*>(context);
    if (c.done.load() || len <= 0) return;
    // The music ended within this buffer: what follows its end is the
    // mixer's silence, not the file's.
    const bool ended = !Mix_PlayingMusic();
    const auto* samples = reinterpret_cast<const int16_t*>(stream);
    size_t frames = static_cast<size_t>(len) / (2 * c.channels);
    if (ended)
        while (frames > 0 && silent_frame(samples + (frames - 1) * c.channels, c.channels)) --frames;
    const size_t skip = c.discard < frames ? static_cast<size_t>(c.discard) : frames;
    c.discard -= skip;
    const int16_t* from = samples + skip * c.channels;
    size_t values = (frames - skip) * 2;
    if (c.converter) {
        c.converted.clear();
        c.converter->push(from, frames - skip, &c.converted);
        if (ended) c.converter->finish(&c.converted);
        from = c.converted.data();
        values = c.converted.size();
    }
    c.writing = true;
    const bool ok = decoder_write(c.output, from, values * sizeof(int16_t));
    c.writing = false;
    c.written += values;
    if (!ok || ended) c.done = true;
}

// Starts the music at `start_s`. The MP3 decoder skips to the first frame
// boundary at or after the time it is given: it is given the middle of a
// frame before the start, and the frames between are dropped.
bool start_at(Mix_Music* music, int loops, double start_s, uint32_t rate_hz, uint32_t frame_samples, Capture* c) {
    if (Mix_PlayMusic(music, loops) != 0) return false;
    if (!(start_s > 0) || frame_samples == 0) return true;
    const double frame_s = double(frame_samples) / rate_hz;
    const double whole = std::floor(start_s / frame_s);
    double landing_s = 0;
    if (whole >= 2) {
        Mix_SetMusicPosition((whole - 1.5) * frame_s);
        landing_s = (whole - 1) * frame_s;
    }
    c->discard = static_cast<uint64_t>(std::llround((start_s - landing_s) * rate_hz));
    return true;
}

// Until the music has ended and its last frames are written, or the program
// closed its end: the stream may use more processor time as long as it
// makes progress.
void watch(const DecoderJob& job, Capture* c) {
    uint64_t seen = 0;
    while (!c->done.load()) {
        pollfd p{job.control_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(watch_ms)) > 0) {
            char b;
            if (recv(job.control_fd, &b, 1, MSG_DONTWAIT) == 0) return;  // the program let go
        }
        const uint64_t now = c->written.load();
        if (now != seen || c->writing.load()) sound_child_allow_cpu(progress_cpu_seconds);
        seen = now;
    }
    SDL_LockAudio();  // a buffer still being written is finished first
    SDL_UnlockAudio();
}

}  // namespace

int sound_child_play(const DecoderJob& job, const SoundRequest& request, int32_t fd) {
    // What the file is, at the loading mixer's format, tells how to play it.
    MusicSource source;
    Mix_Music* music = sound_child_music_open(fd, request.extension, 0, MUS_NONE, &source);
    if (!music) return sound_child_answer(job, sound_undecodable, 0, 0), 3;
    const Mix_MusicType type = Mix_GetMusicType(music);
    sound_child_music_close(music, &source);
    const bool mp3 = type == MUS_MP3 || type == MUS_MP3_MAD;
    MpegFrame frame;
    if (mp3) {
        uint8_t head[10] = {};
        const uint64_t base = pread(fd, head, sizeof head, 0) == sizeof head ? mpeg_tag_bytes(head, sizeof head) : 0;
        std::vector<uint8_t> window(1 << 20);
        const ssize_t n = pread(fd, window.data(), window.size(), static_cast<off_t>(base));
        if (n <= 0 || !mpeg_find_frame(window.data(), static_cast<size_t>(n), base, &frame))
            return sound_child_answer(job, sound_undecodable, type, 0), 3;
    }
    const int rate = mp3 ? static_cast<int>(frame.rate_hz) : output_rate_hz;
    const int channels = mp3 ? static_cast<int>(frame.channels) : 2;
    if (!sound_child_mixer_open(true, rate, channels)) return sound_child_answer(job, sound_no_mixer, type, 0), 3;
    // An MP3 is read from its first frame, past any tags before it. The
    // mixer's thread reads the source and fills the capture to the process's
    // end, which skips destructors: both live on the heap for good.
    MusicSource& playing = *new MusicSource;
    music = sound_child_music_open(fd, request.extension, mp3 ? frame.offset : 0, mp3 ? MUS_MP3 : MUS_NONE, &playing);
    if (!music) return sound_child_answer(job, sound_undecodable, type, 0), 3;
    Capture& c = *new Capture;
    c.output = job.output_fd;
    c.channels = static_cast<uint32_t>(channels);
    if (rate != output_rate_hz || channels != 2) c.converter = std::make_unique<RateConverter>(rate, channels);
    const int loops = (request.flags & sound_flag_loop) ? -1 : 0;
    const double start_s = mp3 ? request.start_s : 0;
    // Nothing is mixed or written before the answer.
    SDL_LockAudio();
    Mix_VolumeMusic(MIX_MAX_VOLUME);
    Mix_SetPostMix(capture, &c);
    const bool started = start_at(music, loops, start_s, frame.rate_hz, frame.frame_samples, &c);
    const bool answered = sound_child_answer(job, started ? sound_ok : sound_undecodable, type, 0);
    SDL_UnlockAudio();
    if (started && answered) watch(job, &c);
    // Ends here: the mixer and its thread go with the process.
    return started ? 0 : 3;
}
