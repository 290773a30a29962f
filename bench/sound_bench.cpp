// Tone synthesis and music-string interpretation: seconds of sound made per
// second of processor time ("x_realtime").
#include "runtime/sound/music.h"
#include "runtime/sound/tone_synth.h"
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>

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
void BM_MusicStringChords(benchmark::State& state) {
    run_string(state, "MBT120L4O2C,E,GF,A,>C<G,B,>D<C,E,G");
}
BENCHMARK(BM_MusicStringChords);

}  // namespace

BENCHMARK_MAIN();
