// The raw sample stream: the hook starts at 16384 bytes, plays what was
// written, leaves when dry, and the ring doubles for a program that writes
// far ahead.
#include "sound_capture.h"
#include "runtime/sound/raw_samples.h"
#include "runtime/sound/raw_samples_internal.h"
#include <cmath>

namespace {

using RawSamples = capture::SoundCapture;

void push_sine(double freq_hz, double seconds) {
    const int frames = static_cast<int>(seconds * raw_sample_rate());
    for (int i = 0; i < frames; ++i) {
        double v = 0.6 * std::sin(2 * M_PI * freq_hz * i / raw_sample_rate());
        raw_sample_push(v, v, -1);
    }
}

TEST_F(RawSamples, PlaysFromSixteenKilobytesAndLeavesWhenDry) {
    EXPECT_EQ(raw_sample_rate(), 22050);
    push_sine(440, 4000 / 22050.0);  // under 16384 bytes: waits
    EXPECT_EQ(raw_queued_seconds(), 0);
    EXPECT_EQ(raw_ring_size(), 32768u);
    push_sine(440, 0.3);
    EXPECT_GT(raw_queued_seconds(), 0.1);
    auto heard = segments(this->heard(0.8));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_LT(heard[0].start_s, 0.1);
    EXPECT_NEAR(heard[0].seconds(), 0.3 + 4000 / 22050.0, 0.12);  // the last partial block waits
    EXPECT_NEAR(heard[0].freq_hz, 440, 3);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (raw_queued_seconds() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(raw_queued_seconds(), 0);
}

TEST_F(RawSamples, RingDoublesForAProgramFarAhead) {
    push_sine(220, 4.0);  // 352800 bytes, far quicker than they play
    const double queued = raw_queued_seconds();
    EXPECT_GT(queued, 3.0);
    EXPECT_LE(queued, 4.0);
    EXPECT_EQ(raw_ring_size(), 524288u);  // doubled from 32 KiB, a block's room kept free
    // Extreme values are clamped, not wrapped; nothing is lost meanwhile.
    for (double v : {5.0, -5.0, 1.0, -1.0, double(NAN)}) raw_sample_push(v, 0, 0);
    EXPECT_EQ(error_code.load(), 0);
    sound_stop_all();
    EXPECT_EQ(raw_queued_seconds(), 0);
    EXPECT_EQ(raw_ring_size(), 0u);
}

}  // namespace
