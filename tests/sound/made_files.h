// Sound files the tests make: a WAV of three tones, one a second, encoded as
// MP3 by lame at the rate and channel count asked for.
#pragma once
#include <unistd.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace made {

constexpr double tones_hz[3] = {300, 500, 700};  // second k holds tones_hz[k]

inline std::string temp_path(const std::string& name) { return "/tmp/morv_" + std::to_string(getpid()) + "_" + name; }

// The three tones at `rate` Hz as an MP3; "" when lame is not installed.
inline std::string steps_mp3(uint32_t rate, uint32_t channels) {
    const std::string base = temp_path("steps" + std::to_string(rate) + "_" + std::to_string(channels));
    const std::string wav = base + ".wav", mp3 = base + ".mp3";
    const uint32_t frames = 3 * rate;
    {
        std::ofstream f(wav, std::ios::binary);
        auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
        const uint32_t data = frames * channels * 2;
        f.write("RIFF", 4);
        u32(36 + data);
        f.write("WAVEfmt ", 8);
        u32(16);
        u16(uint16_t(1));
        u16(uint16_t(channels));
        u32(rate);
        u32(rate * channels * 2);
        u16(uint16_t(channels * 2));
        u16(16);
        f.write("data", 4);
        u32(data);
        double phase = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            phase += 2 * M_PI * tones_hz[i / rate] / rate;
            const auto v = static_cast<uint16_t>(std::lround(16000 * std::sin(phase)));
            for (uint32_t c = 0; c < channels; ++c) u16(v);
        }
    }
    const std::string line = "lame --quiet " + wav + " " + mp3 + " >/dev/null 2>&1";
    const bool encoded = std::system(line.c_str()) == 0;
    std::remove(wav.c_str());
    return encoded ? mp3 : "";
}

}  // namespace made
