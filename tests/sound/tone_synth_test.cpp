// The triangle wave: its shape and amplitude against the closed form, the cut
// at the last rising zero crossing, and tones past 11025 Hz that stay a wave.
#include "runtime/sound/tone_synth.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>

namespace {

// The triangle that starts at 0 rising, as a function of the distance v has
// travelled (4 units a period).
double triangle(double travelled) {
    double p = std::fmod(travelled, 4.0);
    return p < 1 ? p : p < 3 ? 2 - p : p - 4;
}

const int16_t* frames(const ToneBuffer& t) { return reinterpret_cast<const int16_t*>(t.data); }

TEST(ToneSynthesise, TriangleOfTheAmplitudeOnBothChannels) {
    struct Case {
        double freq_hz, volume;
    } cases[] = {{551.25, 1.0}, {783.99, 0.5}, {15000, 1.0}, {32767, 0.8}};
    for (const Case& c : cases) {
        ToneBuffer t = tone_synthesise(c.freq_hz, 0.05, c.volume);
        ASSERT_NE(t.data, nullptr);
        const double step = c.freq_hz * 4 / 22050;
        int16_t highest = 0;
        for (uint32_t i = 0; i < t.byte_length / 4; ++i) {
            const double expected = std::round(c.volume * 32767 * triangle(i * step));
            ASSERT_NEAR(frames(t)[2 * i], expected, 1.0) << c.freq_hz << " Hz, frame " << i;
            ASSERT_EQ(frames(t)[2 * i], frames(t)[2 * i + 1]);
            if (frames(t)[2 * i] > highest) highest = frames(t)[2 * i];
        }
        // The peak lies within one step of the amplitude (exactly on it when a
        // step divides the rise).
        EXPECT_GE(highest, std::lround(c.volume * 32767 * (1 - std::min(step, 1.0)))) << c.freq_hz;
        EXPECT_LE(highest, std::lround(c.volume * 32767)) << c.freq_hz;
        std::free(t.data);
    }
}

TEST(ToneSynthesise, EndsAtTheLastRisingZeroCrossing) {
    // 551.25 Hz moves v by 0.1 a frame: a period of 40 frames whose rising
    // crossings fall on frames 1, 41, 81, ...; 0.1 s is 2205 frames.
    ToneBuffer t = tone_synthesise(551.25, 0.1, 1.0);
    EXPECT_EQ(t.byte_length, 2201u * 4);
    EXPECT_EQ(frames(t)[2 * 2201], 3277);  // the first sample above zero
    EXPECT_EQ(frames(t)[2 * 2200], 0);
    std::free(t.data);
}

TEST(ToneSynthesise, SilenceAndTheShortestTones) {
    ToneBuffer silence = tone_synthesise(0, 0.5, 1.0);
    EXPECT_EQ(silence.byte_length, 11025u * 4);  // no crossing: not cut
    for (uint32_t i = 0; i < 11025 * 2; ++i) ASSERT_EQ(frames(silence)[i], 0);
    std::free(silence.data);
    EXPECT_EQ(tone_frames(0), 1u);
    EXPECT_EQ(tone_frames(1.0 / 44100 * 3), 2u);  // 1.5 frames round to 2
    EXPECT_EQ(tone_silence_frames(1.0 / 44100 * 3), 1u);  // silence keeps whole frames
    EXPECT_EQ(tone_frames(-1), 1u);
    EXPECT_EQ(tone_frames(NAN), 1u);
}

}  // namespace
