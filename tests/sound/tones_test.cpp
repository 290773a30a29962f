// What the tone queue really plays, heard through the disk audio driver: the
// lead-in, the beep, the tone statement, music strings in foreground and
// background, notes in sequence and as a chord; the statement's errors; and a
// machine where the audio device cannot be opened.
#include "sound_capture.h"
#include "runtime/core/strings.h"
#include "runtime/sound/audio.h"
#include "runtime/sound/raw_samples.h"
#include "runtime/sound/sound_table.h"
#include "runtime/core/threads.h"
#include "runtime/process/process.h"
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include "runtime/core/flags_internal.h"
#include <cmath>

namespace {

using capture::Segment;
using Tones = capture::SoundCapture;

constexpr double lead_in_s = 32768 / 88200.0;
// The queue starts a tone at the event loop's next pass after the one before
// ended: some ms late (a good deal more on a busy machine), never early.
constexpr double start_slack_s = 0.25;
// The mixer runs a buffer or two ahead of what is heard: a tone counts as
// ended, and the program goes on, that much before its end is heard.
constexpr double mixer_ahead_s = 0.1;

void expect_segment(const Segment& s, double start_s, double seconds, double freq_hz) {
    EXPECT_GE(s.start_s, start_s - 0.005);
    EXPECT_LE(s.start_s, start_s + start_slack_s);
    EXPECT_NEAR(s.seconds(), seconds, 0.012);
    if (freq_hz > 0) {
        EXPECT_NEAR(s.freq_hz, freq_hz, freq_hz * 0.005);
    }
}

TEST_F(Tones, BeepAfterTheLeadInWithoutStoppingTheProgram) {
    sound_beep();
    EXPECT_EQ(pause_flags.load(), 0);
    EXPECT_EQ(event_pending.load(), 0);
    auto heard = segments(this->heard(0.9));
    ASSERT_EQ(heard.size(), 1u);
    expect_segment(heard[0], lead_in_s, 0.2, 783.99);
}

TEST_F(Tones, ToneStatementHoldsTheProgramUntilItsToneStarts) {
    sound_tone(0, 9.1);  // half a second of silence first
    ASSERT_EQ(pause_flags.load() & 2, 2);
    double held = statement_end();
    // Held through the lead-in: the silence starts once it has played.
    EXPECT_GE(held, lead_in_s - mixer_ahead_s);
    sound_tone(440, 18.2);
    held = statement_end();
    EXPECT_GE(held, 0.5 - mixer_ahead_s);  // the silence played before the tone started
    EXPECT_EQ(pause_flags.load(), 0);
    auto heard = segments(this->heard(lead_in_s + 1.7));
    ASSERT_EQ(heard.size(), 1u);
    expect_segment(heard[0], lead_in_s + 0.5, 1.0, 440);
}

TEST_F(Tones, MusicInTheBackgroundReturnsAtOnce) {
    music_play(str_lit("MBT120L4O2A"));
    EXPECT_EQ(pause_flags.load(), 0);
    EXPECT_EQ(error_code.load(), 0);
    auto heard = segments(this->heard(lead_in_s + 0.7));
    ASSERT_EQ(heard.size(), 1u);
    expect_segment(heard[0], lead_in_s, 0.5 * 0.875, 440);
}

TEST_F(Tones, MusicInTheForegroundReturnsWhenItHasPlayed) {
    music_play(str_lit("T120L4O2A"));
    double held = statement_end();
    EXPECT_GE(held, lead_in_s + 0.5 - mixer_ahead_s);
    auto heard = segments(this->heard(lead_in_s + 0.7));
    ASSERT_EQ(heard.size(), 1u);
    expect_segment(heard[0], lead_in_s, 0.4375, 440);
}

TEST_F(Tones, NotesInSequenceAndAsOneChord) {
    music_play(str_lit("MBT240O3CEG"));
    music_play(str_lit("P4C,E,G"));
    auto heard = segments(this->heard(lead_in_s + 1.3));
    ASSERT_EQ(heard.size(), 4u);
    const double note_s = 0.25 * 0.875;
    // Octave 2 holds the A of 440 Hz, so octave 3 starts at the C above it.
    expect_segment(heard[0], lead_in_s, note_s, 523.25);
    expect_segment(heard[1], lead_in_s + 0.25, note_s, 659.26);
    expect_segment(heard[2], lead_in_s + 0.5, note_s, 783.99);
    // The chord: one sound where the three sound together (its crossings
    // count no single pitch).
    expect_segment(heard[3], lead_in_s + 1.0, note_s, 0);
}

TEST_F(Tones, BadStatementArgumentsAreErrorFiveAndQueueNothing) {
    struct Case {
        double freq_hz, ticks;
    } bad[] = {{36, 18}, {32768, 18}, {-1, 18}, {440, -1}, {440, 65536}};
    for (const Case& c : bad) {
        error_code = 0;
        sound_tone(c.freq_hz, c.ticks);
        EXPECT_EQ(error_code.load(), 5) << c.freq_hz << " " << c.ticks;
    }
    // While an error is pending nothing plays either.
    sound_tone(440, 18);
    music_play(str_lit("C"));
    error_code = 0;
    sound_tone(37, 0);  // the lowest frequency, no duration: nothing
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_EQ(pause_flags.load(), 0);
    // Music errors: what was queued before stays queued, nothing after it.
    music_play(str_lit("MBO2A8 MB MF T300 C"));
    EXPECT_EQ(error_code.load(), 5);
    EXPECT_EQ(pause_flags.load(), 0);
    auto heard = segments(this->heard(lead_in_s + 0.6));
    ASSERT_EQ(heard.size(), 1u);
    expect_segment(heard[0], lead_in_s, 0.25 * 0.875, 440);
}

// The queue holds at most 64 MiB of sound (about 12.7 minutes): a string
// that would pass it is error 5, and none of it is queued.
TEST(ToneQueueRoom, AStringPastTheRoomIsErrorFive) {
    ASSERT_TRUE(audio_open_once());
    const uint64_t lead_in = sound_generated_bytes();
    std::string text = "MB T32 L1";
    for (int i = 0; i < 102; ++i) text += "P";  // 102 rests of 7.5 s: 765 s
    music_play(str_from_cstring(text.c_str()));
    EXPECT_EQ(error_code.exchange(0), 5);
    EXPECT_EQ(sound_generated_bytes(), lead_in);
    music_play(str_from_cstring(text.substr(0, text.size() - 2).c_str()));  // 750 s fit
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_EQ(sound_generated_bytes() - lead_in, uint64_t{750} * 88200);
    sound_stop_all();
}

TEST(NoAudioDevice, EverySoundDoesNothingAndTheProgramGoesOn) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ::testing::internal::CaptureStderr();
    sound_beep();
    sound_tone(440, 18.2);
    music_play(str_lit("T120CDE"));
    raw_sample_push(0.5, 0, 0);
    EXPECT_EQ(sound_open(str_lit("missing.wav"), str_lit("SYNC")), 0u);
    sound_play(7);
    sound_stop_all();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(audio_is_open());
    EXPECT_EQ(pause_flags.load(), 0);
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_EQ(sound_playing(1), 0);
    EXPECT_EQ(raw_queued_seconds(), 0);
    EXPECT_TRUE(tone_queue_wait_idle(10));
    EXPECT_EQ(said.rfind("No sound: ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// An audio driver that cannot start at all (a sound server that is not
// running, a name SDL does not know): the program starts and runs silent, and
// says so in one line.
int OriginalStderr = -1;
char StderrFile[] = "/tmp/morv_dead_driver_XXXXXX";

int sound_then_report(void*) {
    sound_beep();
    music_play(str_lit("T120 L8 CDE"));
    if (event_pending.load()) statement_check(1);
    const uint32_t handle = sound_open(str_lit("missing.wav"), str_lit("SYNC"));
    std::fflush(stderr);
    std::string said;
    if (std::FILE* f = std::fopen(StderrFile, "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) said += static_cast<char>(c);
        std::fclose(f);
    }
    const auto lines = std::count(said.begin(), said.end(), '\n');
    dprintf(OriginalStderr, "SILENT LINES[%d] NO-SOUND[%d] HANDLE[%u]\n", int(lines),
            said.rfind("No sound: ", 0) == 0 ? 1 : 0, handle);
    end_program();
}

int start_with_dead_driver(const char* driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    OriginalStderr = dup(2);
    const int f = mkstemp(StderrFile);
    dup2(f, 2);
    static char name[] = "morv";
    static char* argv[] = {name, nullptr};
    return runtime_main(1, argv, sound_then_report);
}

TEST(NoAudioDevice, ADriverThatCannotStartLeavesTheProgramRunningSilent) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no sound tried before
    for (const char* driver : {"pulseaudio", "no-such-driver"}) {
        EXPECT_EXIT(start_with_dead_driver(driver), ::testing::ExitedWithCode(0),
                    "SILENT LINES\\[1\\] NO-SOUND\\[1\\] HANDLE\\[0\\]")
            << driver;
    }
}

}  // namespace
