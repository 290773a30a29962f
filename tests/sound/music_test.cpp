// The music-string interpreter on its own: what it builds and hands on, the
// settings it keeps, "=" variable references, and every malformed string
// ending in an error with nothing after it handed on.
#include "runtime/sound/music.h"
#include "runtime/sound/tone_synth.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Heard {
    std::vector<std::vector<int16_t>> chunks;  // in order; an empty one is a marker
    std::vector<bool> is_marker;
};

class RecordingSink : public MusicSink {
public:
    explicit RecordingSink(uint64_t room = UINT64_MAX) : room_(room) {}
    void chunk(uint8_t* data, uint32_t bytes) override {
        auto* s = reinterpret_cast<int16_t*>(data);
        heard.chunks.emplace_back(s, s + bytes / 2);
        heard.is_marker.push_back(false);
        std::free(data);
    }
    void marker() override {
        heard.chunks.emplace_back();
        heard.is_marker.push_back(true);
    }
    uint64_t room_bytes() override { return room_; }
    Heard heard;

private:
    uint64_t room_;
};

// Runs a string from an exact-size heap copy, so a read past its end is caught.
bool run(const std::string& text, MusicState& state, RecordingSink& sink, const MusicVariables& vars = {}) {
    std::vector<uint8_t> exact(text.begin(), text.end());
    return music_interpret(exact.empty() ? nullptr : exact.data(), static_cast<uint32_t>(exact.size()), state, sink,
                           vars);
}

uint32_t frames_of(const std::vector<int16_t>& c) { return static_cast<uint32_t>(c.size() / 2); }

TEST(MusicString, BackgroundNoteIsTheToneThenItsSilenceAndNoMarker) {
    MusicState state;
    RecordingSink sink;
    ASSERT_TRUE(run("MBT120L4O2A", state, sink));
    ASSERT_EQ(sink.heard.chunks.size(), 1u);
    const auto& c = sink.heard.chunks[0];
    // 0.5 s x 0.875 of tone (9647 frames, cut back less than one 440 Hz
    // period), then 0.0625 s (1378 frames) of silence.
    const uint32_t tone = frames_of(c) - 1378;
    EXPECT_LE(tone, 9647u);
    EXPECT_GT(tone, 9647u - 51);
    for (uint32_t i = tone; i < frames_of(c); ++i) ASSERT_EQ(c[2 * i], 0);
    EXPECT_NE(c[2 * (tone - 10)], 0);
    EXPECT_TRUE(state.background);
}

TEST(MusicString, ForegroundEndsWithItsMarker) {
    struct Case {
        const char* text;
        std::vector<bool> markers;
    } cases[] = {
        {"C", {false, true}},  // the music, then the marker the program waits for
        {"T120", {true}},  // nothing built: still the marker
        {"CMBD", {false, true, false}},  // MB hands over what came before it
        {"MBCMFD", {false, true}},  // one chunk: MF only changes the end
        {"", {true}},
    };
    for (const Case& c : cases) {
        MusicState state;
        RecordingSink sink;
        ASSERT_TRUE(run(c.text, state, sink)) << c.text;
        EXPECT_EQ(sink.heard.is_marker, c.markers) << c.text;
    }
}

TEST(MusicString, DurationsLengthsDotsAndTempo) {
    MusicState state;
    EXPECT_DOUBLE_EQ(music_note_seconds(state, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(music_note_seconds(state, 4, 1), 0.75);
    EXPECT_DOUBLE_EQ(music_note_seconds(state, 4, 2), 0.875);
    EXPECT_DOUBLE_EQ(music_note_seconds(state, 8, 0), 0.25);
    state.tempo = 60;
    state.length = 1;
    EXPECT_DOUBLE_EQ(music_note_seconds(state, 0, 0), 4.0);

    // Legato, one chunk a string: each length's frames add up.
    struct Case {
        const char* text;
        double seconds;
    } cases[] = {
        {"MBMLT120P4", 0.5},      {"MBMLT120P8.", 0.375},  {"MBMLT60L2P", 2.0}, {"MBMLT120N33", 0.5},
        {"MBMLT120C16C16", 0.25}, {"MBMST240P2..", 0.875}, {"MBMLT120C0", 0.5},
    };
    for (const Case& c : cases) {
        MusicState s;
        RecordingSink sink;
        ASSERT_TRUE(run(c.text, s, sink)) << c.text;
        ASSERT_EQ(sink.heard.chunks.size(), 1u) << c.text;
        EXPECT_NEAR(frames_of(sink.heard.chunks[0]) / 22050.0, c.seconds, 0.0051) << c.text;
    }
}

TEST(MusicString, SettingsStayForTheNextStringAndOctavesClamp) {
    MusicState state;
    RecordingSink sink;
    ASSERT_TRUE(run("t200 l8 ms v80 o6 >> mb", state, sink));
    EXPECT_EQ(state.tempo, 200);
    EXPECT_EQ(state.length, 8);
    EXPECT_EQ(state.volume, 80);
    EXPECT_DOUBLE_EQ(state.articulation, 0.25);
    EXPECT_EQ(state.octave, 6);
    EXPECT_TRUE(state.background);
    ASSERT_TRUE(run("O0<<MN", state, sink));
    EXPECT_EQ(state.octave, 0);
    EXPECT_DOUBLE_EQ(state.articulation, 0.125);
    EXPECT_TRUE(sink.heard.chunks.empty());
}

TEST(MusicString, ChordsShareTheirPlaceAndClampTheirSum) {
    MusicState a, b;
    RecordingSink sequence, chord;
    ASSERT_TRUE(run("MBMLV100O3CEG", a, sequence));
    ASSERT_TRUE(run("MBMLV100O3C,E,G", b, chord));
    const auto& c = chord.heard.chunks.at(0);
    EXPECT_NEAR(frames_of(c), 11025, 100);  // one note's place
    EXPECT_NEAR(frames_of(sequence.heard.chunks.at(0)), 3 * 11025, 200);
    int16_t highest = 0, lowest = 0;
    for (int16_t s : c) highest = std::max(highest, s), lowest = std::min(lowest, s);
    // Three full-volume notes sum past the 16-bit range: clamped, not wrapped.
    EXPECT_EQ(highest, 32767);
    EXPECT_EQ(lowest, -32767);
}

// A long legato string comes as one chunk, one note straight after another:
// no hole anywhere in its 75 s, however long it is.
TEST(MusicString, LongStringsComeWholeWithoutAHole) {
    MusicState state;
    RecordingSink sink;
    ASSERT_TRUE(run("MBMLT32L1O2AAAAAAAAAA", state, sink));  // ten notes of 7.5 s
    ASSERT_EQ(sink.heard.chunks.size(), 1u);
    const std::vector<int16_t>& c = sink.heard.chunks[0];
    EXPECT_NEAR(frames_of(c) / 22050.0, 75.0, 0.03);  // each note ends on its last rising crossing
    uint32_t quiet_run = 0, longest = 0;
    for (size_t i = 0; i < c.size(); i += 2) {
        quiet_run = c[i] == 0 ? quiet_run + 1 : 0;
        longest = std::max(longest, quiet_run);
    }
    EXPECT_LE(longest, 1u);  // only the zero crossings themselves
}

// Sound past the room is an error, and nothing of the string after its last
// "MB" is handed on; the rest is not even read.
TEST(MusicString, SoundPastTheRoomIsAnError) {
    MusicState state;
    RecordingSink tight(22050 * 4 * 4);  // four seconds
    EXPECT_FALSE(run("MBMLT60CCCCCT90", state, tight));
    EXPECT_TRUE(tight.heard.chunks.empty());
    EXPECT_EQ(state.tempo, 60);
    ASSERT_TRUE(run("MBMLT60CCCC", state, tight));  // exactly the room
    EXPECT_EQ(tight.heard.chunks.size(), 1u);
    MusicState foreground;
    RecordingSink small(22050 * 4 * 2);
    EXPECT_FALSE(run("MLT60C MB CC", foreground, small));
    EXPECT_EQ(small.heard.is_marker, (std::vector<bool>{false, true}));  // the first part stays
}

TEST(MusicString, EveryMalformedStringIsAnErrorWithNothingAfterIt) {
    const char* bad[] = {
        "T300",
        "T31",
        "C#-",
        "C++",
        "C4#",
        "C.-",
        "5",
        "T120 5",
        "<3",
        "C.7",
        "MX",
        "M",
        "T",
        "L",
        "O",
        "N",
        "V",
        "TC",
        "L0",
        "L65",
        "O7",
        "V101",
        "N85",
        "P0",
        "P65",
        "C65",
        ",C",
        "P4,C",
        "X",
        "C;",
        "T120=",
        "T=\x05\x00",
        "T=\x01\x00\x00"
        "5",
        "T==",
        "T999999999999999999999",
    };
    for (const char* text : bad) {
        MusicState state;
        RecordingSink sink;
        EXPECT_FALSE(run(text, state, sink)) << text;
        EXPECT_TRUE(sink.heard.chunks.empty()) << text;
    }
    // What was handed on before the error stays; what followed is not built.
    MusicState state;
    RecordingSink sink;
    EXPECT_FALSE(run("CMBD T300 E", state, sink));
    EXPECT_EQ(sink.heard.is_marker, (std::vector<bool>{false, true}));
}

TEST(MusicString, VariableReferencesOfEveryKind) {
    alignas(16) uint8_t block[72] = {};
    auto put = [&](int offset, auto v) { std::memcpy(block + offset, &v, sizeof v); };
    put(0, int8_t{-1});
    put(1, uint8_t{200});
    put(2, int16_t{100});
    put(4, uint16_t{255});
    put(8, int32_t{33});
    put(12, uint32_t{64});
    put(16, int64_t{150});
    put(24, uint64_t{1} << 40);
    put(32, 100.5f);
    put(40, 121.5);
    std::memcpy(block + 48, &(const long double&)99.7L, 10);
    put(58, uint16_t{0x3E << 3});  // the six bits 111110 from bit 3: 62, or -2 signed
    put(64, 0.0 / 0.0);
    const MusicVariables vars{block, sizeof block};
    auto ref = [](const char* command, uint8_t type, uint16_t offset, int width = -1) {
        std::string s = std::string(command) + '=' + char(type) + char(offset & 0xFF) + char(offset >> 8);
        return width < 0 ? s : s + char(width);
    };
    const uint8_t field_u = music_ref_bit_field | music_ref_unsigned | 3,
                  field_s = music_ref_bit_field | music_ref_signed | 3;
    struct Case {
        std::string text;
        bool ok;
        int32_t MusicState::*field;
        int32_t value;
    } cases[] = {
        {ref("T", 2, 1), true, &MusicState::tempo, 200},
        {ref("T", 3, 2), true, &MusicState::tempo, 100},
        {ref("T", 4, 4), true, &MusicState::tempo, 255},
        {ref("T", 5, 8), true, &MusicState::tempo, 33},
        {ref("L", 6, 12), true, &MusicState::length, 64},
        {ref("T", 7, 16), true, &MusicState::tempo, 150},
        {ref("T", 9, 32), true, &MusicState::tempo, 100},  // 100.5 rounds to even
        {ref("T", 10, 40), true, &MusicState::tempo, 122},
        {ref("T", 11, 48), true, &MusicState::tempo, 100},
        {ref("L", field_u, 58, 6), true, &MusicState::length, 62},
        {ref("L", field_s, 58, 6), false, nullptr, 0},  // -2
        {ref("L", 1, 0), false, nullptr, 0},  // -1
        {ref("T", 8, 24), false, nullptr, 0},  // past 32 bits
        {ref("T", 10, 64), false, nullptr, 0},  // not a number
        {ref("T", 10, 68), false, nullptr, 0},  // past the block
        {ref("T", 12, 0), false, nullptr, 0},  // no such type
        {ref("T", 0, 0), false, nullptr, 0},
        {ref("T", music_ref_unsigned | 2, 1), false, nullptr, 0},
        {ref("L", field_u | music_ref_signed, 58, 6), false, nullptr, 0},
        {ref("L", field_u, 58, 57), false, nullptr, 0},
        {ref("L", field_u, 58, 0), false, nullptr, 0},
        {ref("L", field_u, 58), false, nullptr, 0},  // the width is missing
        {ref("T", 2, 1) + "5", false, nullptr, 0},
        {ref("T", 2, 1) + "=", false, nullptr, 0},
    };
    for (const Case& c : cases) {
        MusicState state;
        RecordingSink sink;
        EXPECT_EQ(run(c.text, state, sink, vars), c.ok) << c.text.substr(0, 3) << int(uint8_t(c.text[2]));
        if (c.ok) {
            EXPECT_EQ(state.*c.field, c.value) << int(uint8_t(c.text[2]));
        }
    }
    MusicState state;
    RecordingSink sink;
    EXPECT_FALSE(run(ref("T", 2, 1), state, sink));  // no variables given
}

}  // namespace
