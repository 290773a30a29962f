// Tone synthesis and music-string interpretation: seconds of sound made per
// second of processor time ("x_realtime"); sound files opened: a 3-minute OGG
// as the music stream, with and without its length measured, and a 2-second
// WAV as a channel sound, with the decoder child at hand; and the first file
// of a program, whose open starts that child.
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/sound/music.h"
#include "runtime/sound/sound_decoder.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/tone_synth.h"
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void BM_ToneSynthesise(benchmark::State& state) {
    const double seconds = 1.0;
    for (auto _ : state) {
        ToneBuffer t = tone_synthesise(440, seconds, 1.0);
        benchmark::DoNotOptimize(t.data);
        std::free(t.data);
    }
    state.counters["x_realtime"] = benchmark::Counter(seconds * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ToneSynthesise);

class CountingSink : public MusicSink {
public:
    void chunk(uint8_t* data, uint32_t bytes) override {
        seconds += bytes / static_cast<double>(tone_bytes_per_second);
        std::free(data);
    }
    void marker() override {}
    uint64_t room_bytes() override { return UINT64_MAX; }
    double seconds = 0;
};

void run_string(benchmark::State& state, const char* text) {
    CountingSink sink;
    for (auto _ : state) {
        MusicState music;
        music_interpret(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)), music, sink,
                        {});
    }
    state.counters["x_realtime"] = benchmark::Counter(sink.seconds, benchmark::Counter::kIsRate);
}

// A tune of quick notes: parsing weighs most here.
void BM_MusicStringTune(benchmark::State& state) {
    run_string(state, "MBT180L16O3CDEFGAB>CDEFGAB>C<BAGFEDC<BAGFEDC MS L8 C#D-E F+G#A-B. P16 N40N44N47 ML CEG");
}
BENCHMARK(BM_MusicStringTune);

// Chords of three notes.
void BM_MusicStringChords(benchmark::State& state) { run_string(state, "MBT120L4O2C,E,GF,A,>C<G,B,>D<C,E,G"); }
BENCHMARK(BM_MusicStringChords);

// Files made once by Debian's tools (sox, oggenc), removed at exit; empty
// when the tools are missing.
struct MadeFiles {
    std::string prefix = "/tmp/morv_bench_" + std::to_string(getpid());
    ~MadeFiles() { std::system(("rm -f " + prefix + ".*").c_str()); }
} Made;

std::string made_file(const char* name, const char* command) {
    const std::string path = Made.prefix + name;
    const std::string line = std::string(command) + " >/dev/null 2>&1";
    if (std::system(("sh -c '" + line + "' " + path).c_str()) != 0) return "";
    return path;
}

const std::string& ogg_3_minutes() {
    static const std::string path = made_file(
        ".ogg", "sox -n -b 16 -r 44100 -c 2 \"$0.wav\" synth 180 sine 440 sine 660 && oggenc -Q \"$0.wav\" -o \"$0\"");
    return path;
}
const std::string& wav_2_seconds() {
    static const std::string path = made_file(".wav", "sox -n -b 16 -r 44100 -c 2 \"$0\" synth 2 sine 440");
    return path;
}

void start_sound() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    flags_reset();
    low_memory_clear();
    memory_startup();
    strings_startup();
}

// With `fresh`, each open starts its decoder child first, as the first sound
// file of a program does.
void open_and_close(benchmark::State& state, const std::string& path, const char* caps, bool fresh = false) {
    if (path.empty()) {
        state.SkipWithError("sox or oggenc is not installed");
        return;
    }
    start_sound();
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            sound_decoder_shutdown();
            state.ResumeTiming();
        }
        const uint32_t h = sound_open(str_from_cstring(path.c_str()), str_from_cstring(caps));
        if (h == 0) {
            state.SkipWithError("the file did not open");
            break;
        }
        sound_close(h);
        str_release_temps(1, 0);
    }
}

void BM_StreamOpenOgg3Minutes(benchmark::State& state) { open_and_close(state, ogg_3_minutes(), ""); }
BENCHMARK(BM_StreamOpenOgg3Minutes)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_StreamOpenOgg3MinutesLen(benchmark::State& state) { open_and_close(state, ogg_3_minutes(), "LEN"); }
BENCHMARK(BM_StreamOpenOgg3MinutesLen)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_ChannelOpenWav2Seconds(benchmark::State& state) { open_and_close(state, wav_2_seconds(), "SYNC"); }
BENCHMARK(BM_ChannelOpenWav2Seconds)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_FirstStreamOpenOgg3Minutes(benchmark::State& state) { open_and_close(state, ogg_3_minutes(), "", true); }
BENCHMARK(BM_FirstStreamOpenOgg3Minutes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
