// Tone synthesis: the triangle wave every generated sound is made of.
#include "runtime/sound/tone_synth.h"
#include <cmath>
#include <cstdlib>

uint32_t tone_frames(double seconds) {
    double exact = tone_rate_hz * seconds;
    if (!(exact >= 1.0)) return 1;
    if (exact > 4e9) return 4000000000u;
    return static_cast<uint32_t>(std::nearbyint(exact));
}

uint32_t tone_silence_frames(double seconds) {
    double exact = tone_rate_hz * seconds;
    if (!(exact >= 1.0)) return 1;
    if (exact > 4e9) return 4000000000u;
    return static_cast<uint32_t>(exact);
}

uint32_t tone_render(double freq_hz, double volume, int16_t* out, uint32_t frames) {
    const double amplitude = volume * 32767.0;
    const double step = freq_hz * 4.0 / tone_rate_hz;
    double v = 0.0;
    bool rising = true;
    long previous = 1;
    uint32_t last_rising_crossing = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        long s = std::lround(amplitude * v);
        if (s > 0 && previous < 1) last_rising_crossing = i;
        previous = s;
        // Every generated sound is the same on both channels.
        out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(s);
        if (rising) {
            v += step;
            if (v >= 1.0) {
                v = 2.0 - v;
                rising = false;
            }
        } else {
            v -= step;
            if (v <= -1.0) {
                v = -2.0 - v;
                rising = true;
            }
        }
        // A step above 2 (tones over 11025 Hz) overshoots the turning point by
        // more than the whole range: folding until v is back in -1..1 keeps the
        // wave inside it instead of letting it run away.
        while (v > 1.0 || v < -1.0) {
            if (v > 1.0) {
                v = 2.0 - v;
                rising = false;
            } else {
                v = -2.0 - v;
                rising = true;
            }
        }
    }
    return last_rising_crossing != 0 ? last_rising_crossing : frames;
}

ToneBuffer tone_synthesise(double freq_hz, double seconds, double volume) {
    const uint32_t frames = tone_frames(seconds);
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples handed to SDL_mixer, which frees them
    auto* data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(frames) * tone_frame_bytes));
    if (!data) return {nullptr, 0};
    uint32_t kept = tone_render(freq_hz, volume, reinterpret_cast<int16_t*>(data), frames);
    return {data, kept * tone_frame_bytes};
}
