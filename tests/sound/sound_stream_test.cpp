// The music stream as a program drives it, heard through the disk audio
// driver: an MP3 at 44.1 kHz and one at 8 kHz (made here with lame, each
// second its own tone) start at a position set before playing, move while
// paused, report where they are, and start from the beginning after a stop; a
// player child that dies ends the stream quietly.
#include "sound_capture.h"
#include "made_files.h"
#include "runtime/core/strings.h"
#include "runtime/sound/sound_table.h"
#include <signal.h>
#include <cmath>

namespace {

using Streams = capture::SoundCapture;

uint32_t open(const std::string& path, const char* caps) {
    return sound_open(str_from_cstring(path.c_str()), str_from_cstring(caps));
}

template <typename F>
bool within_seconds(double seconds, F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool reaches(double position_s) {
    return within_seconds(5, [=] { return sound_position(1) >= position_s; });
}

// The tones heard one after another (0 for silence): 20 ms windows, each the
// file tone its frequency is within 4 % of; runs shorter than 60 ms are the
// changes between them and are left out.
struct ToneRun {
    double freq_hz, seconds;
};
std::vector<ToneRun> tone_runs(const std::vector<int16_t>& s) {
    const size_t window = static_cast<size_t>(0.02 * capture::rate_hz);
    std::vector<ToneRun> runs;
    for (size_t at = 0; at + window <= s.size(); at += window) {
        int peak = 0;
        size_t first = 0, last = 0, rising = 0;
        for (size_t i = at + 1; i < at + window; ++i) {
            peak = std::max(peak, std::abs(int{s[i]}));
            if (s[i - 1] < 0 && s[i] >= 0) (rising++ == 0 ? first : last) = i;
        }
        const double f = rising > 2 ? (rising - 1) * capture::rate_hz / (last - first) : 0;
        double label = peak < 1000 ? 0 : -1;
        for (double tone : made::tones_hz)
            if (peak >= 1000 && std::abs(f - tone) < tone * 0.04) label = tone;
        if (!runs.empty() && runs.back().freq_hz == label)
            runs.back().seconds += 0.02;
        else
            runs.push_back({label, 0.02});
    }
    std::vector<ToneRun> kept;
    for (const ToneRun& r : runs) {
        if (r.seconds < 0.06 || r.freq_hz < 0) continue;
        if (!kept.empty() && kept.back().freq_hz == r.freq_hz)
            kept.back().seconds += r.seconds;
        else
            kept.push_back(r);
    }
    while (!kept.empty() && kept.back().freq_hz == 0) kept.pop_back();
    if (!kept.empty() && kept.front().freq_hz == 0) kept.erase(kept.begin());
    return kept;
}

struct Mp3 {
    uint32_t hz, channels;
};
void PrintTo(const Mp3& h, std::ostream* os) { *os << h.hz << " Hz"; }

class StreamMp3 : public Streams, public ::testing::WithParamInterface<Mp3> {};

TEST_P(StreamMp3, StartsWhereAskedMovesWhilePausedAndReplaysFromTheStart) {
    const std::string mp3 = made::steps_mp3(GetParam().hz, GetParam().channels);
    if (mp3.empty()) GTEST_SKIP() << "lame is not installed";
    ASSERT_EQ(open(mp3, "SETPOS,PAUSE"), 1u);
    const double from = this->heard_so_far();
    // Set before playing: taken at the play.
    sound_set_position(1, 1.5);
    sound_play(1);
    EXPECT_GE(sound_position(1), 1.5);
    EXPECT_LT(sound_position(1), 1.7);
    ASSERT_TRUE(reaches(1.8));
    // Paused, the position stands; moved while paused, it is where it was put.
    sound_pause(1);
    const double at = sound_position(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(sound_position(1), at);
    sound_set_position(1, 0.6);
    EXPECT_EQ(sound_paused(1), -1);
    EXPECT_DOUBLE_EQ(sound_position(1), 0.6);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    sound_play(1);  // resumes from there
    EXPECT_EQ(sound_paused(1), 0);
    ASSERT_TRUE(reaches(1.6));
    // Stopped and played again: from the beginning.
    sound_stop(1);
    EXPECT_EQ(sound_position(1), 0);
    sound_play(1);
    EXPECT_LT(sound_position(1), 0.3);
    ASSERT_TRUE(reaches(0.8));
    sound_close(1);
    EXPECT_EQ(error_code.load(), 0);

    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the mixer is a buffer or two ahead
    const std::vector<ToneRun> runs = tone_runs(this->heard_from(from, this->heard_so_far() - from));
    std::vector<double> tones;
    double paused_s = 0;
    for (const ToneRun& r : runs) {
        if (r.freq_hz > 0)
            tones.push_back(r.freq_hz);
        else if (tones.size() == 1)
            paused_s += r.seconds;
    }
    // 500 Hz from 1.5 s; the pause; 300 then 500 Hz from 0.6 s; 300 Hz from the start.
    EXPECT_EQ(tones, (std::vector<double>{500, 300, 500, 300}));
    EXPECT_GE(paused_s, 0.25);
    std::remove(mp3.c_str());
}

INSTANTIATE_TEST_SUITE_P(TwoRates, StreamMp3, ::testing::Values(Mp3{44100, 2}, Mp3{8000, 1}),
                         [](const auto& info) { return std::to_string(info.param.hz) + "Hz"; });

// Its player holds about 1.5 s of what it decoded ahead: heard, then the end.
TEST_F(Streams, APlayerThatDiesEndsTheStreamQuietly) {
    const std::string wav = made::temp_path("ten_seconds.wav");
    {
        std::ofstream f(wav, std::ios::binary);
        auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
        const uint32_t data = 10 * 22050 * 4;
        f.write("RIFF", 4);
        u32(36 + data);
        f.write("WAVEfmt ", 8);
        u32(16);
        u32(0x00020001);
        u32(22050);
        u32(88200);
        u32(0x00100004);
        f.write("data", 4);
        u32(data);
        for (uint32_t i = 0; i < 10 * 22050; ++i) u32(i % 50 < 25 ? 0x20002000 : 0xE000E000);
    }
    ASSERT_EQ(open(wav, "LEN"), 1u);
    sound_play(1);
    ASSERT_TRUE(reaches(0.2));
    kill(music_stream().player.pid, SIGKILL);
    EXPECT_TRUE(within_seconds(5, [] { return sound_playing(1) == 0; }));
    EXPECT_EQ(sound_position(1), 0);
    // The program goes on, and the stream plays again.
    sound_play(1);
    EXPECT_EQ(sound_playing(1), -1);
    EXPECT_TRUE(reaches(0.3));
    sound_close(1);
    EXPECT_EQ(error_code.load(), 0);
    std::remove(wav.c_str());
}

}  // namespace
