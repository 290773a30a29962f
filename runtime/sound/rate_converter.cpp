// The polyphase windowed-sinc rate converter: one set of taps per phase of the
// output position between two input frames, each set summing to one.
#include "runtime/sound/rate_converter.h"
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

constexpr uint32_t out_rate_hz = 22050;
// Zero crossings of the sinc on each side: a steep edge at a small cost.
constexpr double zero_crossings = 12;
// The pass band ends this far below the lower Nyquist frequency.
constexpr double pass_share = 0.92;

double sinc(double x) { return x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x); }

// Blackman window over [-1, 1].
double window(double t) {
    if (t <= -1 || t >= 1) return 0;
    const double a = std::numbers::pi * (t + 1);
    return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2 * a);
}

int16_t clamp16(float v) {
    const long r = std::lrint(v);
    return static_cast<int16_t>(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}

}  // namespace

RateConverter::RateConverter(uint32_t rate_hz, uint32_t channels) : channels_(channels == 1 ? 1 : 2) {
    if (rate_hz == 0) rate_hz = out_rate_hz;
    const uint32_t g = std::gcd(rate_hz, out_rate_hz);
    up_ = out_rate_hz / g;
    down_ = rate_hz / g;
    // Cut-off in cycles per input frame.
    const double cutoff = 0.5 * pass_share * (up_ < down_ ? double(up_) / down_ : 1.0);
    half_ = up_ == down_ ? 1 : static_cast<int32_t>(std::ceil(zero_crossings / (2 * cutoff)));
    taps_.assign(static_cast<size_t>(up_) * 2 * half_, 0.0f);
    for (uint32_t p = 0; p < up_; ++p) {
        float* set = &taps_[static_cast<size_t>(p) * 2 * half_];
        if (up_ == down_) {
            set[half_ - 1] = 1.0f;  // the same rate: each frame as it is
            continue;
        }
        const double frac = double(p) / up_;
        double sum = 0;
        for (int32_t k = 0; k < 2 * half_; ++k) {
            const double t = (k - half_ + 1) - frac;  // input frame base + k - half_ + 1
            const double v = 2 * cutoff * sinc(2 * cutoff * t) * window(t / half_);
            set[k] = static_cast<float>(v);
            sum += v;
        }
        for (int32_t k = 0; k < 2 * half_; ++k) set[k] = static_cast<float>(set[k] / sum);
    }
}

float RateConverter::tap_input(int64_t index, uint32_t channel) const {
    if (index < static_cast<int64_t>(kept_from_) || index >= static_cast<int64_t>(received_)) return 0.0f;
    return kept_[static_cast<size_t>(index - kept_from_) * channels_ + channel];
}

// Makes output frames whose taps reach no further than input frame `until_input` - 1.
void RateConverter::produce(uint64_t until_input, std::vector<int16_t>* out) {
    for (;;) {
        const uint64_t position = made_ * down_;
        const int64_t base = static_cast<int64_t>(position / up_);
        const uint32_t phase = static_cast<uint32_t>(position % up_);
        if (base + half_ > static_cast<int64_t>(until_input)) break;
        const float* set = &taps_[static_cast<size_t>(phase) * 2 * half_];
        float sum[2] = {0, 0};
        for (int32_t k = 0; k < 2 * half_; ++k) {
            const int64_t index = base + k - half_ + 1;
            for (uint32_t c = 0; c < channels_; ++c) sum[c] += set[k] * tap_input(index, c);
        }
        out->push_back(clamp16(sum[0]));
        out->push_back(clamp16(channels_ == 2 ? sum[1] : sum[0]));
        ++made_;
    }
    // Input no later output reaches goes.
    const int64_t needed_from = static_cast<int64_t>(made_ * down_ / up_) - half_ + 1;
    if (needed_from > static_cast<int64_t>(kept_from_)) {
        const uint64_t drop = static_cast<uint64_t>(needed_from) - kept_from_;
        const size_t values = static_cast<size_t>(drop < received_ - kept_from_ ? drop : received_ - kept_from_);
        kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(values * channels_));
        kept_from_ += values;
    }
}

void RateConverter::push(const int16_t* in, size_t frames, std::vector<int16_t>* out) {
    kept_.insert(kept_.end(), in, in + frames * channels_);
    received_ += frames;
    produce(received_, out);
}

void RateConverter::finish(std::vector<int16_t>* out) {
    // Frames past the end are silence; the output stops at the input's length.
    const uint64_t owed = (received_ * up_ + down_ - 1) / down_;
    produce(received_ + half_, out);
    if (made_ > owed) {
        out->resize(out->size() - static_cast<size_t>(made_ - owed) * 2);
        made_ = owed;
    }
}
