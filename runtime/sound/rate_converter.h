// Sample-rate conversion to the mixer's format (22050 Hz, 16-bit stereo), for
// sound decoded at the file's own rate: a windowed-sinc filter in polyphase
// form, so that every rate keeps its pitch and its length to the sample.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class RateConverter {
public:
    // From `rate_hz` (1 .. 192000) with 1 or 2 interleaved channels.
    RateConverter(uint32_t rate_hz, uint32_t channels);

    // Takes `frames` frames and appends to `out` the stereo frames (left,
    // right) they complete.
    void push(const int16_t* in, size_t frames, std::vector<int16_t>* out);
    // The input has ended: appends the frames still owed, so that the output
    // holds ceil(input frames x 22050 / rate) frames in all.
    void finish(std::vector<int16_t>* out);

private:
    void produce(uint64_t until_input, std::vector<int16_t>* out);
    float tap_input(int64_t index, uint32_t channel) const;

    uint32_t up_, down_;  // output index j sits at input position j x down / up
    uint32_t channels_;
    int32_t half_;  // taps on each side of the position
    std::vector<float> taps_;  // up_ phases x 2 half_ taps
    std::vector<float> kept_;  // input frames from kept_from_ on
    uint64_t kept_from_ = 0;
    uint64_t received_ = 0;  // input frames so far
    uint64_t made_ = 0;  // output frames so far
};
