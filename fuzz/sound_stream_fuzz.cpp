// Music streams through the statements a program uses: the file is opened as
// the stream, started (at a position when it is an MP3 that allows one, or
// looping), paused, resumed and stopped while its player decodes it. The
// first byte picks the file name's extension (which tells the mixer the type
// first), looping and the start; the rest is the file. The file is looked at
// and played in decoder children, which are this same program: a decoder
// that crashes or loops there is a refused file or a stream that ends, and
// the children's coverage is added to this process's. A crash of this
// process, a runtime error, or a position that is not where the stream can
// be is a finding.
#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"

namespace {

// How long each stream plays: enough for its player to decode some buffers.
constexpr auto play_for = std::chrono::milliseconds(30);

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "sound_stream_fuzz: %s\n", what);
    std::abort();
}

void start_once() {
    static const bool started = [] {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        flags_reset();
        low_memory_clear();
        memory_startup();
        strings_startup();
        return true;
    }();
    (void)started;
}

void expect_no_error(const char* what) { check(error_code.exchange(0) == 0, what); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_once();
    if (size < 1) return 0;
    static const char* const extensions[8] = {"", ".wav", ".ogg", ".mp3", ".mid", ".mod", ".voc", ".flac"};
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/morv_stream_fuzz_" + std::to_string(getpid()) +
        extensions[data[0] & 7];
    std::FILE* f = std::fopen(path.c_str(), "wb");
    check(f != nullptr, "the sound file could not be written");
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    const bool loop = data[0] & 8;
    const double start_s = (data[0] >> 4) * 0.25;

    uint32_t handle = sound_open(str_from_bytes(path.data(), uint32_t(path.size())), str_lit("SETPOS,PAUSE,LEN"));
    expect_no_error("opening a stream raised an error");
    if (handle == 0) {
        // Not an MP3 (only those take a position), or no sound at all.
        handle = sound_open(str_from_bytes(path.data(), uint32_t(path.size())), str_lit("PAUSE,LEN"));
        expect_no_error("opening a stream raised an error");
    }
    check(handle == 0 || handle == 1, "a stream's handle is not 1");
    if (handle == 1) {
        const double length = sound_length(1);
        check(length == -1 || (length >= 0 && std::isfinite(length)), "a stream's length is no length");
        const bool positioned = !loop && start_s > 0;
        if (positioned) {
            sound_set_position(1, start_s);
            error_code.store(0);  // error 5 for a stream that is no MP3
        }
        if (loop)
            sound_loop(1);
        else
            sound_play(1);
        expect_no_error("playing a stream raised an error");
        std::this_thread::sleep_for(play_for);
        sound_pause(1);
        const double at = sound_position(1);
        check(at >= 0 && at <= (positioned ? start_s : 0) + 5, "the position is not where the stream can be");
        sound_play(1);
        check(sound_playing(1) == -1 || sound_playing(1) == 0, "playing is neither true nor false");
        sound_stop(1);
        sound_close(1);
        sound_collect();
        expect_no_error("stopping a stream raised an error");
    }
    str_release_temps(1, 0);
    std::remove(path.c_str());
    return 0;
}
