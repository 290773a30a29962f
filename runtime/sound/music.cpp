// The music-string interpreter: notes, rests, settings and chords built into
// sample buffers for the tone queue.
#include "runtime/sound/music.h"
#include "runtime/sound/tone_synth.h"
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "runtime/core/code_page.h"

namespace {

static_assert(LDBL_MANT_DIG == 64, "float80 references need the x87 extended format");

// Semitones of A..G above C.
constexpr int32_t note_semitones[7] = {9, 11, 0, 2, 4, 5, 7};
// A number too big for any command's range, where digits stop counting.
constexpr int64_t number_ceiling = 100000000;

// The growing buffer of one string's sound, handed to the sink whole so that
// it plays without a break. `position` is where the next sound goes; `extent`
// how far sound reaches (a chord's longer note may reach past the position).
class SampleBuilder {
public:
    SampleBuilder(MusicSink& sink) : sink_(sink), room_(sink.room_bytes()) {}
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples handed to SDL_mixer, which frees them
    ~SampleBuilder() { std::free(data_); }

    // False when the sound would pass the sink's room: nothing is added.
    bool note(double freq_hz, double tone_s, double silence_s, double volume, bool chord) {
        pending_ = true;
        const uint32_t frames = tone_frames(tone_s);
        const uint32_t silence = silence_s > 0 ? tone_silence_frames(silence_s) : 0;
        if (!reserve(static_cast<uint64_t>(frames) + silence)) return false;
        scratch_.resize(static_cast<size_t>(frames) * 2);
        const uint32_t kept = tone_render(freq_hz, volume, scratch_.data(), frames);
        int16_t* out = data_ + static_cast<size_t>(position_) * 2;
        for (uint32_t i = 0; i < kept * 2; ++i) {
            int32_t sum = out[i] + scratch_[i];
            out[i] = static_cast<int16_t>(sum > 32767 ? 32767 : sum < -32767 ? -32767 : sum);
        }
        const uint32_t end = position_ + kept + silence;
        if (end > extent_) extent_ = end;
        if (!chord) position_ = end;
        return true;
    }

    bool rest(double seconds) {
        pending_ = true;
        const uint32_t frames = tone_silence_frames(seconds);
        if (!reserve(frames)) return false;
        const uint32_t end = position_ + frames;
        if (end > extent_) extent_ = end;
        position_ = end;
        return true;
    }

    // Something was played since the last flush.
    bool pending() const { return pending_; }

    // Hands everything built to the sink.
    void flush() {
        if (extent_ > 0 && data_) {
            handed_ += extent_;
            sink_.chunk(reinterpret_cast<uint8_t*>(data_), extent_ * tone_frame_bytes);
            data_ = nullptr;
        }
        capacity_ = extent_ = position_ = 0;
        pending_ = false;
    }

private:
    // Room for `frames` more frames at the position, zeroed.
    bool reserve(uint64_t frames) {
        const uint64_t need = position_ + frames;
        if ((handed_ + need) * tone_frame_bytes > room_ || need > UINT32_MAX / tone_frame_bytes) return false;
        if (need > capacity_) {
            uint64_t capacity = capacity_ ? capacity_ : 4096;
            while (capacity < need) capacity *= 2;
            // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): samples handed to SDL_mixer, which frees them
            auto* grown = static_cast<int16_t*>(std::realloc(data_, capacity * tone_frame_bytes));
            if (!grown) return false;
            data_ = grown;
            capacity_ = static_cast<uint32_t>(capacity);
        }
        if (need > extent_)
            std::memset(data_ + static_cast<size_t>(extent_) * 2, 0, (need - extent_) * tone_frame_bytes);
        return true;
    }

    MusicSink& sink_;
    uint64_t room_;
    uint64_t handed_ = 0;  // frames already with the sink
    int16_t* data_ = nullptr;
    uint32_t capacity_ = 0, extent_ = 0, position_ = 0;
    bool pending_ = false;
    std::vector<int16_t> scratch_;
};

class Parser {
public:
    Parser(const uint8_t* text, uint32_t length, MusicState& state, MusicSink& sink, const MusicVariables& vars)
        : p_(text), end_(text + length), st_(state), sink_(sink), vars_(vars), built_(sink) {}

    bool run() {
        for (;;) {
            int c = peek();
            if (c < 0) break;
            ++p_;
            if (!command(upper(c))) return false;
        }
        if (built_.pending()) built_.flush();
        if (!st_.background) sink_.marker();
        return true;
    }

private:
    static int upper(int c) { return static_cast<uint8_t>(ascii_upper(static_cast<char>(c))); }
    static bool is_digit(int c) { return c >= '0' && c <= '9'; }
    static bool is_sign(int c) { return c == '+' || c == '#' || c == '-'; }

    int peek() {
        while (p_ < end_ && *p_ == ' ') ++p_;
        return p_ < end_ ? *p_ : -1;
    }

    bool command(int c) {
        if (c >= 'A' && c <= 'G') return note_letter(c);
        int64_t n = 0;
        bool given = false;
        switch (c) {
        case 'N': {
            if (!number(n, given) || !given || n < 0 || n > 84) return false;
            uint32_t dots = count_dots();
            return play_note(static_cast<int32_t>(n) - 33, music_note_seconds(st_, 0, dots));
        }
        case 'P': {
            if (!number(n, given) || (given && (n < 1 || n > 64))) return false;
            uint32_t dots = count_dots();
            return built_.rest(music_note_seconds(st_, given ? static_cast<int32_t>(n) : 0, dots));
        }
        case 'L':
            return setting(st_.length, 1, 64);
        case 'T':
            return setting(st_.tempo, 32, 255);
        case 'O':
            return setting(st_.octave, 0, 6);
        case 'V':
            return setting(st_.volume, 0, 100);
        case '<':
            if (st_.octave > 0) --st_.octave;
            return true;
        case '>':
            if (st_.octave < 6) ++st_.octave;
            return true;
        case 'M':
            return mode();
        default:
            // A number with no command before it, a comma after no note, or a
            // character that is no command.
            return false;
        }
    }

    bool setting(int32_t& field, int64_t low, int64_t high) {
        int64_t n = 0;
        bool given = false;
        if (!number(n, given) || !given || n < low || n > high) return false;
        field = static_cast<int32_t>(n);
        return true;
    }

    bool mode() {
        int c = peek();
        if (c < 0) return false;
        ++p_;
        switch (upper(c)) {
        case 'L':
            st_.articulation = 0.0;
            return true;
        case 'N':
            st_.articulation = 0.125;
            return true;
        case 'S':
            st_.articulation = 0.25;
            return true;
        case 'F':
            st_.background = false;
            return true;
        case 'B':
            // What is built so far goes now, and a program in foreground mode
            // waits for it as at the end of a string.
            if (built_.pending()) {
                built_.flush();
                if (!st_.background) sink_.marker();
            }
            st_.background = true;
            return true;
        default:
            return false;
        }
    }

    bool note_letter(int c) {
        int32_t note = 12 * st_.octave + note_semitones[c - 'A'] - 33;
        int s = peek();
        if (is_sign(s)) {
            note += s == '-' ? -1 : 1;
            ++p_;
            if (is_sign(peek())) return false;
        }
        int64_t n = 0;
        bool given = false;
        if (!number(n, given) || (given && (n < 0 || n > 64))) return false;
        uint32_t dots = count_dots();
        if (is_sign(peek())) return false;
        return play_note(note, music_note_seconds(st_, static_cast<int32_t>(n), dots));
    }

    bool play_note(int32_t note, double seconds) {
        const bool chord = peek() == ',';
        if (chord) ++p_;
        const double freq_hz = 440.0 * std::pow(2.0, note / 12.0);
        const double silence = st_.articulation > 0 ? seconds * st_.articulation : 0.0;
        return built_.note(freq_hz, seconds * (1.0 - st_.articulation), silence, st_.volume / 100.0, chord);
    }

    uint32_t count_dots() {
        uint32_t dots = 0;
        while (peek() == '.') {
            ++p_;
            ++dots;
        }
        return dots;
    }

    // An optional number: digits or a variable reference. A second number
    // right after it is an error.
    bool number(int64_t& value, bool& given) {
        given = false;
        int c = peek();
        if (is_digit(c)) {
            value = 0;
            while (p_ < end_ && is_digit(*p_)) {
                if (value < number_ceiling) value = value * 10 + (*p_ - '0');
                ++p_;
            }
            given = true;
        } else if (c == '=') {
            ++p_;
            if (!variable(value)) return false;
            given = true;
        }
        if (given) {
            int next = peek();
            if (is_digit(next) || next == '=') return false;
        }
        return true;
    }

    bool variable(int64_t& value) {
        if (end_ - p_ < 3) return false;
        const uint8_t type = p_[0];
        const uint32_t offset = p_[1] | (p_[2] << 8);
        p_ += 3;
        if (type & music_ref_bit_field) {
            if (p_ >= end_) return false;
            const uint32_t width = *p_++;
            return bit_field(type, offset, width, value);
        }
        if (type & (music_ref_unsigned | music_ref_signed)) return false;
        static constexpr uint8_t sizes[12] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 10};
        if (type < 1 || type > 11) return false;
        uint8_t raw[16] = {};
        if (!fetch(offset, sizes[type], raw)) return false;
        long double x = 0;
        switch (type) {
        case 1: {
            int8_t v;
            std::memcpy(&v, raw, 1);
            x = v;
            break;
        }
        case 2: {
            uint8_t v;
            std::memcpy(&v, raw, 1);
            x = v;
            break;
        }
        case 3: {
            int16_t v;
            std::memcpy(&v, raw, 2);
            x = v;
            break;
        }
        case 4: {
            uint16_t v;
            std::memcpy(&v, raw, 2);
            x = v;
            break;
        }
        case 5: {
            int32_t v;
            std::memcpy(&v, raw, 4);
            x = v;
            break;
        }
        case 6: {
            uint32_t v;
            std::memcpy(&v, raw, 4);
            x = v;
            break;
        }
        case 7: {
            int64_t v;
            std::memcpy(&v, raw, 8);
            x = static_cast<long double>(v);
            break;
        }
        case 8: {
            uint64_t v;
            std::memcpy(&v, raw, 8);
            x = static_cast<long double>(v);
            break;
        }
        case 9: {
            float v;
            std::memcpy(&v, raw, 4);
            x = v;
            break;
        }
        case 10: {
            double v;
            std::memcpy(&v, raw, 8);
            x = v;
            break;
        }
        case 11:
            std::memcpy(&x, raw, 10);
            break;
        }
        if (!std::isfinite(x)) return false;
        x = std::nearbyint(x);
        if (x < INT32_MIN || x > INT32_MAX) return false;
        value = static_cast<int64_t>(x);
        return true;
    }

    bool bit_field(uint8_t type, uint32_t offset, uint32_t width, int64_t& value) {
        const bool is_unsigned = type & music_ref_unsigned, is_signed = type & music_ref_signed;
        if (is_unsigned == is_signed || (type & 0x18) || width < 1 || width > 56) return false;
        const uint32_t first_bit = type & 7;
        uint8_t raw[8] = {};
        if (!fetch(offset, (first_bit + width + 7) / 8, raw)) return false;
        uint64_t bits = 0;
        std::memcpy(&bits, raw, 8);
        bits = (bits >> first_bit) & ((uint64_t{1} << width) - 1);
        int64_t v = static_cast<int64_t>(bits);
        if (is_signed && (bits >> (width - 1)) & 1) v -= static_cast<int64_t>(uint64_t{1} << width);
        if (v < INT32_MIN || v > INT32_MAX) return false;
        value = v;
        return true;
    }

    bool fetch(uint32_t offset, uint32_t size, uint8_t* out) const {
        if (!vars_.base || offset + size > vars_.bytes) return false;
        std::memcpy(out, vars_.base + offset, size);
        return true;
    }

    const uint8_t* p_;
    const uint8_t* end_;
    MusicState& st_;
    MusicSink& sink_;
    const MusicVariables& vars_;
    SampleBuilder built_;
};

}  // namespace

double music_note_seconds(const MusicState& state, int32_t n, uint32_t dots) {
    const int32_t length = n > 0 ? n : state.length;
    const double d = (4.0 / length) * (60.0 / state.tempo);
    double total = d, part = d;
    for (uint32_t k = 0; k < dots && part > 0; ++k) {
        part /= 2;
        total += part;
    }
    return total;
}

bool music_interpret(const uint8_t* text, uint32_t length, MusicState& state, MusicSink& sink,
                     const MusicVariables& variables) {
    if (!text) length = 0;
    Parser parser(text, length, state, sink, variables);
    return parser.run();
}
