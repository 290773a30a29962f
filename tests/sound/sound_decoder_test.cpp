// The sound decoder child as the runtime uses it: MP3 files of every MPEG
// rate, mono and stereo (made here with lame), come out of their player at
// 22050 Hz stereo with their true pitch and length, start where asked to the
// millisecond, and play the same again; the rate converter on its own keeps
// lengths to the frame; children that die are replaced.
#include "runtime/sound/mpeg_frames.h"
#include "runtime/sound/rate_converter.h"
#include "runtime/sound/sound_decoder.h"
#include "made_files.h"
#include <SDL.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double out_hz = 22050;
using made::tones_hz;

std::string temp_path(const std::string& name) { return made::temp_path("decoder" + name); }

// Everything a player child hands over, as left-channel samples.
std::vector<int16_t> played(const std::string& path, double start_s) {
    std::vector<int16_t> left;
    const int32_t fd = decoder_open_regular(path.c_str());
    DecoderStream player;
    if (fd < 0 || !sound_decoder_play(fd, sound_decoder_extension(path.c_str()), false, start_s, &player)) {
        ADD_FAILURE() << path << " did not play";
        if (fd >= 0) close(fd);
        return left;
    }
    std::vector<uint8_t> all;
    uint8_t block[65536];
    for (int64_t n; (n = decoder_stream_read(&player, block, sizeof block, 5000)) > 0;)
        all.insert(all.end(), block, block + n);
    decoder_stream_stop(&player);
    close(fd);
    EXPECT_EQ(all.size() % 4, 0u) << path;
    for (size_t i = 0; i + 4 <= all.size(); i += 4) left.push_back(static_cast<int16_t>(all[i] | all[i + 1] << 8));
    return left;
}

// The frequency over [from_s, to_s), from its rising zero crossings.
double frequency(const std::vector<int16_t>& s, double from_s, double to_s) {
    size_t first = 0, last = 0, rising = 0;
    for (size_t i = static_cast<size_t>(from_s * out_hz) + 1; i < s.size() && i < to_s * out_hz; ++i)
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (rising++ == 0) first = i;
            last = i;
        }
    return rising > 1 ? (rising - 1) * out_hz / (last - first) : 0;
}

// Where the tone changes from tones_hz[k - 1] to tones_hz[k]: the first
// period after `from_s` clearly shorter than the lower tone's.
double change_to(const std::vector<int16_t>& s, int k, double from_s) {
    const double split = (tones_hz[k - 1] + tones_hz[k]) / 2;
    size_t previous = 0;
    for (size_t i = static_cast<size_t>(from_s * out_hz) + 1; i < s.size(); ++i) {
        if (!(s[i - 1] < 0 && s[i] >= 0)) continue;
        if (previous && out_hz / (i - previous) > split) return previous / out_hz;
        previous = i;
    }
    return -1;
}

struct Rate {
    uint32_t hz, channels;
};
void PrintTo(const Rate& h, std::ostream* os) { *os << h.hz << (h.channels == 1 ? " Hz mono" : " Hz stereo"); }

class Mp3Rates : public ::testing::TestWithParam<Rate> {};

TEST_P(Mp3Rates, TruePitchAndLengthStartWhereAskedAndPlayAgainTheSame) {
    const Rate r = GetParam();
    const std::string mp3 = made::steps_mp3(r.hz, r.channels);
    if (mp3.empty()) GTEST_SKIP() << "lame is not installed";
    // The encoder kept the rate and the channels.
    std::vector<uint8_t> head(65536);
    FILE* f = std::fopen(mp3.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    MpegFrame frame;
    ASSERT_TRUE(mpeg_find_frame(head.data(), head.size(), 0, &frame));
    ASSERT_EQ(frame.rate_hz, r.hz);
    ASSERT_EQ(frame.channels, r.channels);

    const std::vector<int16_t> whole = played(mp3, 0);
    // Three seconds, and what the encoder adds: its delay (1105 samples and
    // an information frame) and the padding of the last frame.
    const double seconds = whole.size() / out_hz;
    EXPECT_GE(seconds, 3.0);
    EXPECT_LE(seconds, 3.0 + (3.0 * frame.frame_samples + 1105) / r.hz);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(frequency(whole, k + 0.35, k + 0.85), tones_hz[k], tones_hz[k] * 0.005) << k;
    const double lead = change_to(whole, 1, 0.5) - 1;  // the encoder's delay before the first tone
    ASSERT_GT(lead, -0.01);
    ASSERT_LT(lead, 0.3);

    // Started at 1.5 s (a frame boundary skipped to, the rest dropped), and
    // within the first frames (only dropped, tried at two rates): the changes
    // come where the whole play has them.
    std::vector<double> starts = {1.5};
    if (r.hz == 8000 || r.hz == 44100) starts.push_back(0.02);
    for (double start : starts) {
        const std::vector<int16_t> from = played(mp3, start);
        const int k = start > 1 ? 2 : 1;
        EXPECT_NEAR(change_to(from, k, k == 2 ? 0.1 : 0.5), k + lead - start, 0.003) << "from " << start;
        EXPECT_NEAR(from.size() / out_hz, seconds - start, 0.002) << "from " << start;
    }
    // Played again: the very same frames.
    EXPECT_TRUE(played(mp3, 0) == whole);
    std::remove(mp3.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    EveryMpegRate, Mp3Rates,
    ::testing::Values(Rate{8000, 1}, Rate{8000, 2}, Rate{11025, 1}, Rate{11025, 2}, Rate{12000, 1}, Rate{12000, 2},
                      Rate{16000, 1}, Rate{16000, 2}, Rate{22050, 1}, Rate{22050, 2}, Rate{24000, 1}, Rate{24000, 2},
                      Rate{32000, 1}, Rate{32000, 2}, Rate{44100, 1}, Rate{44100, 2}, Rate{48000, 1}, Rate{48000, 2}),
    [](const auto& info) { return std::to_string(info.param.hz) + (info.param.channels == 1 ? "Mono" : "Stereo"); });

TEST(RateConverter, LengthsToTheFrameAndPitchKept) {
    for (uint32_t rate : {8000u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u, 96000u}) {
        for (uint32_t channels : {1u, 2u}) {
            RateConverter converter(rate, channels);
            std::vector<int16_t> in, out;
            const uint32_t frames = rate + 123;  // a second and a bit, in uneven blocks
            for (uint32_t i = 0; i < frames; ++i)
                for (uint32_t c = 0; c < channels; ++c)
                    in.push_back(static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * 1000 * i / rate))));
            for (uint32_t at = 0; at < frames;) {
                const uint32_t n = std::min<uint32_t>(frames - at, 1 + (at * 7919) % 3000);
                converter.push(in.data() + at * channels, n, &out);
                at += n;
            }
            converter.finish(&out);
            const uint64_t expected = (uint64_t{frames} * 22050 + rate - 1) / rate;
            ASSERT_EQ(out.size(), expected * 2) << rate << " " << channels;
            std::vector<int16_t> left;
            for (size_t i = 0; i < out.size(); i += 2) {
                EXPECT_EQ(out[i], out[i + 1]);
                left.push_back(out[i]);
            }
            EXPECT_NEAR(frequency(left, 0.1, 0.9), 1000, 2) << rate;
            int peak = 0;
            for (size_t i = 2205; i < 19845; ++i) peak = std::max(peak, std::abs(int{left[i]}));
            EXPECT_NEAR(peak, 20000, 400) << rate;
        }
    }
}

// A tone above what 22050 Hz can hold is filtered out, not folded down.
TEST(RateConverter, ToneAboveTheNewLimitIsGone) {
    RateConverter converter(48000, 1);
    std::vector<int16_t> in, out;
    for (int i = 0; i < 48000; ++i)
        in.push_back(static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * 15000.0 * i / 48000))));
    converter.push(in.data(), in.size(), &out);
    converter.finish(&out);
    int peak = 0;
    for (size_t i = 2000; i + 2000 < out.size(); ++i) peak = std::max(peak, std::abs(int{out[i]}));
    EXPECT_LT(peak, 200);
}

TEST(MpegFrames, TagsAreSkippedAndFalseSyncsPassedOver) {
    // An ID3v2 tag of 300 bytes (size 0x2 0x2C as seven-bit bytes), footer flag off.
    const uint8_t tag[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 0x2C};
    EXPECT_EQ(mpeg_tag_bytes(tag, sizeof tag), 10u + 300);
    const uint8_t not_a_size[10] = {'I', 'D', '3', 4, 0, 0, 0x80, 0, 0, 0};
    EXPECT_EQ(mpeg_tag_bytes(not_a_size, sizeof not_a_size), 0u);
    // MPEG-1 layer III, 128 kbit/s, 44100 Hz, joint stereo: 417 bytes a frame.
    const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x44};
    std::vector<uint8_t> data(20, 0);
    data[3] = 0xFF, data[4] = 0xFB, data[5] = 0x90;  // a lone sync: nothing where its next frame would be
    const size_t first = data.size();
    for (int i = 0; i < 3; ++i) {
        data.insert(data.end(), header, header + 4);
        data.resize(data.size() + 413, 0x55);
    }
    MpegFrame frame;
    ASSERT_TRUE(mpeg_find_frame(data.data(), data.size(), 1000, &frame));
    EXPECT_EQ(frame.offset, 1000 + first);
    EXPECT_EQ(frame.rate_hz, 44100u);
    EXPECT_EQ(frame.channels, 2u);
    EXPECT_EQ(frame.frame_samples, 1152u);
    const std::vector<uint8_t> junk(5000, 0xFF);  // syncs everywhere, none valid
    EXPECT_FALSE(mpeg_find_frame(junk.data(), junk.size(), 0, &frame));
}

// Our children that run a decoder.
std::vector<int> decoder_children() {
    std::vector<int> found;
    DIR* proc = opendir("/proc");
    while (dirent* e = proc ? readdir(proc) : nullptr) {
        const int pid = std::atoi(e->d_name);
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat"),
            cmdline("/proc/" + std::to_string(pid) + "/cmdline");
        std::string line, name;
        if (pid <= 0 || !std::getline(stat, line) || !std::getline(cmdline, name, '\0')) continue;
        int parent = 0;
        if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %*c %d", &parent) == 1 && parent == getpid() &&
            name == "morv-decoder")
            found.push_back(pid);
    }
    if (proc) closedir(proc);
    return found;
}

// The child at hand killed between two loads: the next load goes to a fresh
// child and succeeds.
TEST(SoundDecoder, AChildThatDiedIsReplaced) {
    const std::string path = temp_path(".wav");
    {
        std::ofstream f(path, std::ios::binary);
        const char head[] =
            "RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0data\x08\0\0\0";
        f.write(head, sizeof head - 1);
        f.write("\x10\x20\x30\x40\x50\x60\x70\x7f", 8);
    }
    const int32_t fd = decoder_open_regular(path.c_str());
    ASSERT_GE(fd, 0);
    for (int round = 0; round < 3; ++round) {
        uint32_t bytes = 0;
        uint8_t* samples = sound_decoder_load(fd, &bytes);
        ASSERT_NE(samples, nullptr) << round;
        EXPECT_EQ(bytes, 16u);  // four mono frames become four stereo ones
        SDL_free(samples);
        // Whatever child answered is killed behind the decoder's back.
        for (int pid : decoder_children()) kill(pid, SIGKILL);
    }
    close(fd);
    std::remove(path.c_str());
    sound_decoder_shutdown();
}

}  // namespace
