// The program's side of the sound decoder: one child kept at hand answers
// loads and looks at streams one after another, and becomes a stream's
// player when one is played (another is started at once for what comes
// next). A child that crashes, hangs or answers nonsense costs the file it
// was given, and is replaced.
#include "runtime/sound/sound_decoder.h"
#include "runtime/sound/sound_decoder_protocol.h"
#include "runtime/sound/tone_synth.h"
#include "runtime/core/code_page.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include <SDL.h>
#include <fcntl.h>
#include <time.h>
#include <cstring>
#include <mutex>

namespace {

constexpr DecoderLimits child_limits = [] {
    DecoderLimits l;
    l.memory_mb = 2048;
    // The child gives itself processor time request by request (and a
    // stream as it makes progress); this bounds a child's whole life.
    l.cpu_seconds = 24 * 3600;
    return l;
}();
// How long an answer may take: a file decoded whole (a channel sound, or a
// stream's length) may hold many minutes of sound in a few MiB. The child's
// processor time is bounded too (sound_child.cpp), so a decoder that loops
// is stopped well before.
constexpr uint32_t answer_ms = 10000;
constexpr uint32_t whole_file_answer_ms = 60000;
// The pipe of the child at hand: room for a channel sound's frames in few
// passes. A stream's player keeps less in it: about 1.5 s ahead of the
// mixer, so that a player that dies is heard to end soon after.
constexpr int output_pipe_bytes = 1 << 20;
constexpr int player_pipe_bytes = 1 << 17;

std::mutex AtHandLock;
DecoderStream AtHand;  // the child for the next request
bool AtHandAnswered = false;  // it answered before: its failure may be its own end

uint64_t now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000;
}

uint32_t wait_for(bool whole_file) { return whole_file ? whole_file_answer_ms : answer_ms; }

bool read_exactly(DecoderStream* child, void* to, uint64_t size, uint64_t deadline_ms) {
    for (uint64_t at = 0; at < size;) {
        const uint64_t now = now_ms();
        if (now >= deadline_ms) return false;
        const int64_t n = decoder_stream_read(child, static_cast<uint8_t*>(to) + at, size - at,
                                              static_cast<uint32_t>(deadline_ms - now));
        if (n <= 0) return false;
        at += static_cast<uint64_t>(n);
    }
    return true;
}

void drop_at_hand() {
    decoder_stream_stop(&AtHand);
    AtHandAnswered = false;
}

bool start_at_hand() {
    if (AtHand.pid > 0) return true;
    AtHandAnswered = false;
    if (!decoder_stream_start(&AtHand, sound_decoder_entry, -1, nullptr, 0, child_limits)) return false;
    fcntl(AtHand.from_child, F_SETPIPE_SZ, output_pipe_bytes);  // where the system allows it
    return true;
}

// Hands the request and its file to the child at hand and reads the answer's
// head. A child that fails after answering before may have ended by itself:
// the request goes once more to a fresh one.
bool ask(const SoundRequest& request, int32_t fd, uint32_t wait_ms, SoundAnswer* answer, uint64_t* deadline) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!start_at_hand()) return false;
        const bool answered_before = AtHandAnswered;
        *deadline = now_ms() + wait_ms;
        if (decoder_stream_send_file(&AtHand, fd, &request, sizeof request, wait_ms) &&
            read_exactly(&AtHand, answer, sizeof *answer, *deadline) && answer->magic == sound_answer_magic) {
            decoder_stream_take_coverage(&AtHand);
            AtHandAnswered = true;
            return true;
        }
        drop_at_hand();
        if (!answered_before || stop_threads.load()) return false;
    }
    return false;
}

SoundRequest request_of(SoundRequestKind kind, uint32_t flags, uint32_t extension, double start_s) {
    return SoundRequest{sound_request_magic, kind, flags, extension, start_s};
}

}  // namespace

uint32_t sound_decoder_extension(const char* path) {
    const char* dot = path ? std::strrchr(path, '.') : nullptr;
    if (!dot || std::strlen(dot + 1) > 4) return 0;
    uint32_t word = 0;
    for (int i = 0; dot[1 + i]; ++i) word |= uint32_t{static_cast<uint8_t>(ascii_upper(dot[1 + i]))} << (8 * i);
    return word;
}

uint8_t* sound_decoder_load(int32_t fd, uint32_t* bytes) {
    std::lock_guard<std::mutex> guard(AtHandLock);
    *bytes = 0;
    SoundAnswer answer{};
    uint64_t deadline = 0;
    if (!ask(request_of(sound_request_load, 0, 0, 0), fd, wait_for(true), &answer, &deadline) ||
        answer.status != sound_ok)
        return nullptr;
    // What the child says is checked like any outside data.
    if (answer.bytes > sound_chunk_limit_bytes || answer.bytes % 4 != 0) {
        drop_at_hand();
        return nullptr;
    }
    auto* samples = static_cast<uint8_t*>(SDL_malloc(answer.bytes ? answer.bytes : 4));
    if (!samples || !read_exactly(&AtHand, samples, answer.bytes, deadline)) {
        SDL_free(samples);
        drop_at_hand();  // its answer is cut short or left behind in the pipe
        return nullptr;
    }
    *bytes = static_cast<uint32_t>(answer.bytes);
    return samples;
}

bool sound_decoder_probe(int32_t fd, uint32_t extension, bool measure, StreamInfo* info) {
    std::lock_guard<std::mutex> guard(AtHandLock);
    SoundAnswer answer{};
    uint64_t deadline = 0;
    const SoundRequest request = request_of(sound_request_probe, measure ? uint32_t{sound_flag_measure} : 0u, extension,
                                            0);
    if (!ask(request, fd, wait_for(measure), &answer, &deadline) || answer.status != sound_ok) return false;
    info->music_type = answer.music_type;
    const bool measured = answer.bytes != UINT64_MAX && answer.bytes <= sound_chunk_limit_bytes;
    info->length_s = measured ? static_cast<double>(answer.bytes) / tone_bytes_per_second : -1;
    return true;
}

bool sound_decoder_play(int32_t fd, uint32_t extension, bool loop, double start_s, DecoderStream* player) {
    std::lock_guard<std::mutex> guard(AtHandLock);
    *player = DecoderStream{};
    SoundAnswer answer{};
    uint64_t deadline = 0;
    const SoundRequest request = request_of(sound_request_play, loop ? uint32_t{sound_flag_loop} : 0u, extension,
                                            start_s);
    const bool asked = ask(request, fd, answer_ms, &answer, &deadline);
    if (!asked || answer.status != sound_ok) {
        // A child that could not play ends: it may have left its loading mixer.
        if (asked) drop_at_hand();
        return false;
    }
    *player = AtHand;
    AtHand = DecoderStream{};
    fcntl(player->from_child, F_SETPIPE_SZ, player_pipe_bytes);
    // The next file finds a child ready.
    start_at_hand();
    return true;
}

void sound_decoder_shutdown() {
    std::lock_guard<std::mutex> guard(AtHandLock);
    drop_at_hand();
}
