// Sound files made here (a WAV written by hand, OGG and MP3 from Debian's
// encoders): channel sounds and the stream, capability lists, volume,
// pausing, closing and copies, and files that are no sound at all.
#include "sound_capture.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/sound/sound_table.h"
#include "runtime/core/flags_internal.h"
#include "runtime/sound/sound_files_internal.h"
#include "runtime/process/spine.h"
#include <SDL_mixer.h>
#include <cmath>
#include <fstream>
#include <sys/stat.h>
#include <fcntl.h>

namespace {

using SoundFiles = capture::SoundCapture;

std::string temp_file(const char* ext) { return "/tmp/morv_sound_" + std::to_string(getpid()) + ext; }

// A mono 16-bit WAV of a 440 Hz sine.
std::string make_wav(double seconds, const char* ext = ".wav") {
    const std::string path = temp_file(ext);
    const uint32_t rate = 22050, frames = static_cast<uint32_t>(seconds * rate), data = frames * 2;
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + data);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(data);
    for (uint32_t i = 0; i < frames; ++i)
        u16(static_cast<uint16_t>(std::lround(20000 * std::sin(2 * M_PI * 440 * i / rate))));
    return path;
}

// The WAV encoded by a Debian tool, or "" when the tool is not installed.
std::string encoded(const char* ext, const char* command) {
    const std::string wav = make_wav(0.6, ".src.wav"), out = temp_file(ext);
    const std::string line = std::string(command) + " " + wav + " " + out + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0 ? out : "";
}
std::string make_ogg() { return encoded(".ogg", "sh -c 'oggenc -Q \"$0\" -o \"$1\"'"); }
std::string make_mp3() { return encoded(".mp3", "lame --quiet"); }

uint32_t open(const std::string& path, const char* caps) {
    return sound_open(str_from_cstring(path.c_str()), caps ? str_from_cstring(caps) : nullptr);
}

// Waits (bounded) until the condition holds; the pump plays and collects.
template <typename F>
bool within_seconds(double seconds, F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int32_t take_error() {
    int32_t e = error_code.load();
    error_code = 0;
    return e;
}

TEST_F(SoundFiles, WavAndOggChannelSoundsPlayWhatTheyHold) {
    const std::string wav = make_wav(0.3);
    const uint32_t h = open(wav, "sync, len");
    ASSERT_GE(h, 2u);
    EXPECT_NEAR(sound_length(h), 0.3, 0.001);
    const double before = this->heard_so_far();  // its decoding took a while after the audio opened
    sound_play(h);
    EXPECT_EQ(sound_playing(h), -1);
    auto heard = segments(this->heard_from(before, 0.6));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0].seconds(), 0.3, 0.01);
    EXPECT_NEAR(heard[0].freq_hz, 440, 3);
    ASSERT_TRUE(within_seconds(1, [h] { return sound_playing(h) == 0; }));
    EXPECT_EQ(sound_position(h), 0);

    const std::string ogg = make_ogg();
    if (ogg.empty()) GTEST_SKIP() << "oggenc is not installed";
    const uint32_t o = open(ogg, "SYNC,LEN");
    EXPECT_EQ(o, h + 1);
    EXPECT_NEAR(sound_length(o), 0.6, 0.02);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(SoundFiles, Mp3AndOggStreams) {
    const std::string mp3 = make_mp3(), ogg = make_ogg();
    if (mp3.empty() || ogg.empty()) GTEST_SKIP() << "lame or oggenc is not installed";
    // An OGG stream has no SETPOS: it does not open.
    EXPECT_EQ(open(ogg, "SETPOS"), 0u);
    ASSERT_EQ(open(ogg, "LEN,PAUSE"), 1u);
    EXPECT_NEAR(sound_length(1), 0.6, 0.02);
    sound_play(1);
    EXPECT_EQ(sound_playing(1), -1);
    // One stream at a time: a second open while it is open is an error.
    EXPECT_EQ(open(mp3, nullptr), 0u);
    EXPECT_EQ(take_error(), 5);
    sound_close(1);
    EXPECT_TRUE(within_seconds(2, [] { return open(temp_file(".mp3"), "SETPOS,LEN") == 1; }));
    // Debian's mixer reports its own MP3 type: taken as MP3, so SETPOS works.
    EXPECT_EQ(sound_length(1), -1);  // a WAV probe cannot measure an MP3
    sound_set_position(1, 0.2);
    sound_play(1);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(sound_playing(1), -1);
    EXPECT_GE(sound_position(1), 0.19);
    sound_loop(1);
    sound_set_position(1, 0.1);  // not while looping
    EXPECT_EQ(take_error(), 5);
    sound_stop(1);
    EXPECT_EQ(sound_playing(1), 0);
    // A time limit: the event thread stops the stream when it is reached.
    sound_limit(1, 0.15);
    sound_play(1);
    EXPECT_TRUE(within_seconds(0.5, [] { return sound_playing(1) == 0; }));  // its end is at 0.6 s
    EXPECT_EQ(take_error(), 0);
    sound_loop(1);  // a limited sound cannot loop
    EXPECT_EQ(take_error(), 5);
}

// A header that claims 2 GB of samples for 400 bytes (found by fuzzing): the
// mixer reserved what it claimed. The file plays what it holds, as a channel
// sound and as the stream, within its decoder's memory limit, which is below
// the claim.
TEST_F(SoundFiles, CutOffWavPlaysWhatItHoldsWithoutReservingItsClaim) {
    const std::string path = temp_file(".cut.wav");
    {
        std::ofstream f(path, std::ios::binary);
        auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
        f.write("RIFF", 4);
        u32(0x7D000344);
        f.write("WAVEfmt ", 8);
        u32(16);
        u16(1);
        u16(1);
        u32(22050);
        u32(44100);
        u16(2);
        u16(16);
        f.write("data", 4);
        u32(0x7D000320);
        for (int i = 0; i < 200; ++i) u16(static_cast<uint16_t>((i % 40 - 20) * 1000));
    }
    const uint32_t h = open(path, "SYNC,LEN");
    ASSERT_GE(h, 2u);
    EXPECT_NEAR(sound_length(h), 200.0 / 22050, 0.002);
    sound_close(h);
    const uint32_t stream = open(path, "LEN");
    EXPECT_EQ(stream, 1u);
    EXPECT_NEAR(sound_length(stream), 200.0 / 22050, 0.002);
    sound_close(stream);
    EXPECT_EQ(take_error(), 0);
    std::remove(path.c_str());
}

TEST_F(SoundFiles, CapabilityListsAndWhatTheyAllow) {
    const std::string wav = make_wav(0.2);
    for (const char* bad : {"SYNC,SYNC", "SYNC,LOUD", "SYNC,", ",SYNC", "SYNC;VOL"}) {
        EXPECT_EQ(open(wav, bad), 0u) << bad;
        EXPECT_EQ(take_error(), 5) << bad;
    }
    EXPECT_EQ(open(wav, "SYNC,SETPOS"), 0u);  // no error: it just cannot be
    EXPECT_EQ(take_error(), 0);
    const uint32_t h = open(wav, "SYNC");
    ASSERT_NE(h, 0u);
    for (auto use : {+[](uint32_t x) { sound_pause(x); }, +[](uint32_t x) { sound_paused(x); },
                     +[](uint32_t x) { sound_volume(x, 0.5); }, +[](uint32_t x) { sound_balance(x, 1, 0, 1); },
                     +[](uint32_t x) { sound_length(x); }, +[](uint32_t x) { sound_set_position(x, 0); }}) {
        use(h);
        EXPECT_EQ(take_error(), 5);
    }
    // Handle 0 is ignored; unknown handles and the unopened stream are errors.
    sound_play(0);
    EXPECT_EQ(sound_playing(0), 0);
    EXPECT_EQ(take_error(), 0);
    for (uint32_t unknown : {1u, h + 1, 12345u}) {
        sound_play(unknown);
        EXPECT_EQ(take_error(), 5) << unknown;
    }
    // While an error is pending nothing happens at all.
    error_code = 9;
    EXPECT_EQ(open(wav, "SYNC"), 0u);
    EXPECT_EQ(take_error(), 9);
}

TEST_F(SoundFiles, VolumeLevelsAndBalance) {
    const uint32_t h = open(make_wav(0.2), "SYNC,VOL");
    const int channel = sound_channel_of(h);
    ASSERT_GE(channel, 0);
    struct Case {
        double volume;
        int level;
    } cases[] = {{1.0, 128}, {0.5, 64}, {0.0, 0}, {0.999, 128}, {0.25, 32}};
    for (const Case& c : cases) {
        sound_volume(h, c.volume);
        EXPECT_EQ(Mix_Volume(channel, -1), c.level) << c.volume;
    }
    for (double bad : {-0.01, 1.01, double(NAN)}) {
        sound_volume(h, bad);
        EXPECT_EQ(take_error(), 5) << bad;
    }
    EXPECT_EQ(Mix_Volume(channel, -1), 32);
    sound_balance(h, 1000, 0, 0);  // far off: the farthest step, not the nearest
    sound_balance(h, 0, 0, 0);
    EXPECT_EQ(take_error(), 0);
}

// A program sound left quiet (and far to one side) on its channel: the tones
// that take the channel next still play at the level they were made at.
TEST_F(SoundFiles, TonesOnAReusedChannelPlayAtFullLevel) {
    // Once the lead-in has played and given its channel back, the sound and
    // its copy take the first two channels.
    const std::string wav = make_wav(0.2);
    uint32_t quiet = 0, aside = 0;
    ASSERT_TRUE(within_seconds(3, [&] {
        if (quiet) sound_close(quiet), sound_close(aside);
        quiet = open(wav, "SYNC,VOL");
        aside = sound_copy(quiet);
        return sound_channel_of(quiet) == 0 && sound_channel_of(aside) == 1;
    }));
    sound_volume(quiet, 0.1);
    sound_balance(aside, 1000, 0, 0);
    sound_play(quiet);
    sound_play(aside);
    sound_close(quiet);
    sound_close(aside);
    ASSERT_TRUE(within_seconds(2, [&] { return sound_channel_of(quiet) < 0 && sound_channel_of(aside) < 0; }));
    const double before = this->heard_so_far();
    sound_beep();  // channel 0
    music_play(str_lit("MB V100 T120 O2 A"));  // channel 1, while the beep plays
    const std::vector<int16_t> out = this->heard_from(before, 1.2);
    auto heard = segments(out);
    ASSERT_FALSE(heard.empty());
    // The beep's first 0.15 s, then the note's last 0.3 s.
    EXPECT_GT(peak_between(out, heard.front().start_s, heard.front().start_s + 0.15), 30000);
    EXPECT_GT(peak_between(out, heard.back().end_s - 0.3, heard.back().end_s), 30000);
    EXPECT_GT(heard.back().end_s - heard.front().start_s, 0.2 + 0.4375 - 0.01);  // both were heard
    EXPECT_EQ(take_error(), 0);
}

// The stream's level after a balance: round(attenuation x min(128,
// round(volume x 129))), halves to even.
TEST_F(SoundFiles, StreamBalanceRoundsHalvesToEven) {
    const std::string ogg = make_ogg();
    if (ogg.empty()) GTEST_SKIP() << "oggenc is not installed";
    ASSERT_EQ(open(ogg, "VOL"), 1u);
    struct Case {
        double volume, x;
        int level;
    } cases[] = {
        {0.5, 0, 64},  // 64.5
        {125 / 129.0, 500, 62},  // 125 at half the distance: 62.5
        {1.0, 500, 64},         {1.0, 0.5, 128},  // nearer than 1 is no distance
        {1.0, 2000, 0},
    };
    for (const Case& c : cases) {
        sound_volume(1, c.volume);
        sound_balance(1, c.x, 0, 0);
        EXPECT_EQ(music_stream().level, c.level) << c.volume << " at " << c.x;
    }
    EXPECT_EQ(take_error(), 0);
}

TEST_F(SoundFiles, ClosedAndCopiedSoundsPlayToTheirEnd) {
    const uint32_t h = open(make_wav(0.3), "SYNC");
    const uint32_t copy = sound_copy(h);
    ASSERT_NE(copy, 0u);
    const double before = this->heard_so_far();
    sound_play(h);
    sound_close(h);
    // Closed but still playing: it keeps its channel until it ends.
    const int channel = sound_channel_of(h);
    ASSERT_GE(channel, 0);
    EXPECT_TRUE(Mix_Playing(channel));
    EXPECT_TRUE(within_seconds(2, [h] { return sound_channel_of(h) < 0; }));
    sound_play(h);
    EXPECT_EQ(take_error(), 5);
    // The copy still holds the sound its original left behind.
    sound_play(copy);
    EXPECT_EQ(sound_playing(copy), -1);
    auto heard = segments(this->heard_from(before, 1.2));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_NEAR(heard[1].seconds(), 0.3, 0.01);
    EXPECT_NEAR(heard[1].freq_hz, 440, 3);
    sound_play_copy(copy, 0.5, -1);  // no VOL: the copy is closed unplayed
    EXPECT_EQ(take_error(), 5);
}

TEST_F(SoundFiles, PausedPositionStaysAndResumes) {
    const uint32_t h = open(make_wav(1.0), "SYNC,PAUSE");
    sound_play(h);
    ASSERT_TRUE(within_seconds(1, [h] { return sound_position(h) >= 0.1; }));
    sound_pause(h);
    EXPECT_EQ(sound_paused(h), -1);
    EXPECT_EQ(sound_playing(h), 0);
    const double at = sound_position(h);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(sound_position(h), at);
    sound_play(h);  // resumes where it was
    EXPECT_EQ(sound_paused(h), 0);
    EXPECT_GE(sound_position(h), at);
    EXPECT_LT(sound_position(h), at + 0.1);
}

// Files that are no sound, or hostile ones, through every statement that
// loads one: channel sound and stream, without and with LEN (which decodes the
// stream whole) and SETPOS (which needs an MP3), and the play-a-file statement
// both ways. Each gives 0 without an error or a wait, whatever the file makes
// of its decoder, and the program's sound goes on working.
struct Hostile {
    const char* name;
    const char* extension;
    std::string bytes;  // empty with no extension: the path names no file
    const char* path;  // a path of the system's instead, or null
};
void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

std::string junk_bytes() {
    std::string junk;
    for (int i = 0; i < 5000; ++i) junk += static_cast<char>(i * 7919 >> 3);
    return junk + std::string("RIFF\xff\xff\xff\x7fWAVEfmt ", 16);  // a header that lies
}

const Hostile hostile_files[] = {
    {"Junk", ".bin", junk_bytes(), nullptr},
    // WAVs without a format chunk first, or without samples: the mixer's
    // stream reader freed the first chunk twice, or looked for the samples for ever.
    {"WavWithoutFormatFirst", ".wav", std::string("RIFF\x1c\0\0\0WAVEjunk\x08\0\0\0abcdefghdata\0\0\0\0", 36), nullptr},
    {"WavWithoutData", ".wav",
     std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0", 36), nullptr},
    {"EmptyFile", ".wav", "", nullptr},
    {"OggCutInItsFirstPage", ".ogg", std::string("OggS\0\x02\0\0\0\0\0\0\0\0\x01\x02\x03\x04\0\0\0\0", 22), nullptr},
    {"Mp3TagWithoutFrames", ".mp3", std::string("ID3\x04\0\0\x7f\x7f\x7f\x7f", 10), nullptr},
    {"NamedPipe", ".fifo.wav", "", nullptr},
    {"Device", "", "", "/dev/zero"},
    {"Folder", "", "", "/tmp"},
    {"Missing", "", "", "/nonexistent/x.wav"},
    {"EmptyName", "", "", ""},
};

class HostileFiles : public capture::SoundCapture, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileFiles, AreNoSoundAndSoundGoesOn) {
    const Hostile& h = GetParam();
    std::string path = h.path ? h.path : temp_file(h.extension);
    if (!h.path && std::string(h.name) == "NamedPipe") {
        std::remove(path.c_str());
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    } else if (!h.path) {
        std::ofstream(path, std::ios::binary).write(h.bytes.data(), static_cast<std::streamsize>(h.bytes.size()));
    }
    const auto started = std::chrono::steady_clock::now();
    for (const char* list : {"SYNC", "", "LEN", "SETPOS"}) EXPECT_EQ(open(path, list), 0u) << "[" << list << "]";
    for (int32_t sync : {0, -1}) sound_play_file(str_from_cstring(path.c_str()), sync, 0.5, -1);
    EXPECT_EQ(take_error(), 0);
    // No file held the program (a decoder that loops is stopped far sooner).
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    if (!h.path) std::remove(path.c_str());
    // Sound goes on: a good file plays and is heard.
    const uint32_t good = open(make_wav(0.3), "SYNC");
    ASSERT_GE(good, 2u);
    const double before = this->heard_so_far();
    sound_play(good);
    auto heard = segments(this->heard_from(before, 1.0));
    ASSERT_FALSE(heard.empty());
    EXPECT_NEAR(heard.back().freq_hz, 440, 3);
    EXPECT_EQ(take_error(), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostileFiles, ::testing::ValuesIn(hostile_files),
                         [](const auto& info) { return std::string(info.param.name); });

// Files a decoder may take or fail on, depending on the build: the 7-channel
// WAV whose data chunk promises 800 bytes and holds 10 (the mixer's conversion
// overflows a heap block on it, which the address sanitizer stops), and a
// MIDI file with 65535 tracks and a broken one. The program gets 0, or a sound
// holding what the file has, through every load statement.
TEST_F(SoundFiles, FilesADecoderMayFailOn) {
    auto write = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    };
    const std::string files[] = {
        write(temp_file(".seven.wav"),
              std::string("RIFF\x44\x03\0\0WAVEfmt \x10\0\0\0\x01\0\x07\0\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0"
                          "data\x20\x03\0\0\xb1\xc8\xb5\xb0\xbd\x42\x50\x46\x38\x4a",
                          54)),
        write(temp_file(".mid"), std::string("MThd\0\0\0\x06\0\x01\xff\xff\0\x60MTrk\x7f\xff\xff\xff", 22)),
    };
    for (const std::string& path : files) {
        for (const char* list : {"SYNC,LEN", "", "LEN,PAUSE,VOL"}) {
            const uint32_t h = open(path, list);
            if (h == 0) continue;
            if (std::string(list).find("LEN") != std::string::npos) {
                EXPECT_LT(sound_length(h), 0.01) << path << " [" << list << "]";
            }
            sound_play(h);
            sound_close(h);
        }
        EXPECT_EQ(take_error(), 0) << path;
    }
    EXPECT_GE(open(make_wav(0.1), "SYNC"), 2u);
}

// A named pipe with no writer once held the program for ever: now it is no
// sound at once. (A writer comes by after 1.5 s and then every 0.1 s, so that
// the old wait ended.)
TEST_F(SoundFiles, ANamedPipeIsNoSoundAtOnce) {
    const std::string fifo = temp_file(".pipe.ogg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int waited = 0; !done; waited += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const int fd = waited >= 1500 ? ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK) : -1;
            if (fd >= 0) close(fd);
        }
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(open(fifo, "SYNC"), 0u);
    EXPECT_EQ(open(fifo, "LEN"), 0u);
    EXPECT_EQ(open(fifo, ""), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    done = true;
    writer.join();
    std::remove(fifo.c_str());
}

TEST_F(SoundFiles, AllChannelsInUse) {
    const std::string wav = make_wav(0.05);
    std::vector<uint32_t> handles;
    for (uint32_t h; (h = open(wav, "SYNC")) != 0;) handles.push_back(h);
    // The tone queue's lead-in may still hold a channel.
    EXPECT_GE(handles.size(), 255u);
    EXPECT_LE(handles.size(), 256u);
    EXPECT_EQ(open(wav, "SYNC"), 0u);
    EXPECT_EQ(sound_copy(handles[0]), 0u);
    sound_close(handles[0]);
    EXPECT_NE(open(wav, "SYNC"), 0u);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(SoundFiles, RestartResetStopsAllSound) {
    ASSERT_EQ(process_startup(false), 0);  // the restart reset as start-up registers it
    const uint32_t h = open(make_wav(0.5), "SYNC");
    sound_play(h);
    music_play(str_lit("T60O2AAAA"));
    ASSERT_EQ(pause_flags.load() & 2, 2);
    reset_program_state();
    EXPECT_EQ(pause_flags.load(), 0);  // a program waiting for the music goes on
    EXPECT_TRUE(tone_queue_idle());
    EXPECT_EQ(sound_channel_of(h), -1);
    sound_play(h);
    EXPECT_EQ(take_error(), 5);
    process_shutdown();
}

}  // namespace
