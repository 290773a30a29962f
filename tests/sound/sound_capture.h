// Listening to what the mixer really plays: the disk audio driver writes the
// mixed output to a file (S16LE stereo at 44100 Hz, whatever rate was opened),
// and these helpers find the sounds in it, their length and frequency. A
// stand-in for the event thread plays the tone queue.
#pragma once
#include <SDL.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"
#include "runtime/sound/tones.h"
#include "runtime/sound/tones_internal.h"

namespace capture {

constexpr double rate_hz = 44100;
constexpr int loud = 300;  // a sample louder than this is sound

struct Segment {
    double start_s, end_s;
    double freq_hz;  // from its rising zero crossings
    double seconds() const { return end_s - start_s; }
};

inline std::string capture_path() { return "/tmp/morv_sound_" + std::to_string(getpid()) + ".raw"; }

// Sends the mixer's output to a file of this process and plays the tone
// queue the way the event loop does. Set up before the first sound.
class SoundCapture : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture_path().c_str(), 1);
        flags_reset();
        error_code = 0;
        pump_ = std::thread([this] {
            while (!stop_) {
                tone_queue_service();
                sound_housekeeping();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    void TearDown() override {
        stop_ = true;
        pump_.join();
        std::remove(capture_path().c_str());
    }

    // The left channel of the first `seconds` of output, once written.
    static std::vector<int16_t> heard(double seconds) { return heard_from(0, seconds); }

    // Seconds of output written so far.
    static double heard_so_far() {
        FILE* f = std::fopen(capture_path().c_str(), "rb");
        if (!f) return 0;
        std::fseek(f, 0, SEEK_END);
        const long bytes = std::ftell(f);
        std::fclose(f);
        return bytes > 0 ? bytes / 4 / rate_hz : 0;
    }

    // The left channel of `seconds` of output from `from_s` on, once written.
    static std::vector<int16_t> heard_from(double from_s, double seconds) {
        const size_t first = static_cast<size_t>(from_s * rate_hz) * 4;
        const size_t bytes = static_cast<size_t>(seconds * rate_hz) * 4;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        std::vector<int16_t> left;
        while (std::chrono::steady_clock::now() < deadline) {
            FILE* f = std::fopen(capture_path().c_str(), "rb");
            if (f) {
                std::vector<int16_t> all(bytes / 2);
                std::fseek(f, static_cast<long>(first), SEEK_SET);
                size_t got = std::fread(all.data(), 1, bytes, f);
                std::fclose(f);
                if (got >= bytes) {
                    for (size_t i = 0; i < all.size(); i += 2) left.push_back(all[i]);
                    return left;
                }
            }
            // The driver writes in real time; its next buffer is some ms away.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "the capture never reached " << from_s + seconds << " s";
        return left;
    }

    // The largest sample between two times of a capture.
    static int peak_between(const std::vector<int16_t>& s, double from_s, double to_s) {
        int peak = 0;
        for (size_t i = static_cast<size_t>(from_s * rate_hz); i < s.size() && i < to_s * rate_hz; ++i)
            peak = std::max(peak, std::abs(int{s[i]}));
        return peak;
    }

    // The sounds in the output: runs of loud samples, gaps under 3 ms joined.
    static std::vector<Segment> segments(const std::vector<int16_t>& s) {
        std::vector<Segment> found;
        const size_t join = static_cast<size_t>(0.003 * rate_hz);
        size_t i = 0;
        while (i < s.size()) {
            while (i < s.size() && std::abs(s[i]) <= loud) ++i;
            if (i == s.size()) break;
            size_t start = i, last = i;
            while (i < s.size() && i - last <= join) {
                if (std::abs(s[i]) > loud) last = i;
                ++i;
            }
            // Whole periods between the first and the last rising crossing.
            size_t first_up = 0, last_up = 0, rising = 0;
            for (size_t k = start + 1; k <= last; ++k)
                if (s[k - 1] < 0 && s[k] >= 0) {
                    if (rising++ == 0) first_up = k;
                    last_up = k;
                }
            double freq = rising > 1 ? (rising - 1) * rate_hz / (last_up - first_up) : 0;
            found.push_back({start / rate_hz, (last + 1) / rate_hz, freq});
        }
        return found;
    }

    // Waits for the program's next statement check the way compiled code
    // does; returns the seconds it was held there.
    static double statement_end() {
        const auto t0 = std::chrono::steady_clock::now();
        if (event_pending.load()) statement_check(1);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread pump_;
};

}  // namespace capture
