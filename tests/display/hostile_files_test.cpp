// Hostile picture and font files through every load statement and destination
// mode: files that crash, hang or flood the decoders, FIFOs, folders, devices
// and a file that grows while it is read. Each gives the failure value without
// a runtime error, and the statements after it work.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "display/display_fixture.h"
#include "runtime/core/strings.h"
#include "runtime/display/fonts.h"
#include "runtime/display/image_files.h"
#include "runtime/display/text.h"

namespace {

using Bytes = std::string;

const char* const good_picture_bytes =
    "/* XPM */\nstatic char *x[] = {\n\"2 2 2 1\",\n\"a c #FF0000\",\n\"b c #0000FF\",\n\"ab\",\n\"ba\"};\n";
const char* const good_font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

Bytes gif_wide_frame() {  // screen and frame 16384 x 1: SDL refuses the surface, the reader writes on
    return Bytes("GIF89a\x00\x40\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x00\x40\x01\x00\x00\x02\x02L\x01\x00;", 29);
}

Bytes file_head(const char* path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    Bytes b(n, '\0');
    in.read(b.data(), std::streamsize(n));
    b.resize(size_t(in.gcount()));
    return b;
}

class HostileFiles : public DisplayFixture {
protected:
    void SetUp() override {
        DisplayFixture::SetUp();
        dir_ = testing::TempDir() + "morv_hostile_" + std::to_string(getpid()) + "/";
        mkdir(dir_.c_str(), 0700);
        good_picture_ = write("good.xpm", good_picture_bytes);
    }
    void TearDown() override {
        fonts_shutdown();
        DisplayFixture::TearDown();
    }
    std::string write(const std::string& name, const Bytes& b) {
        const std::string path = dir_ + name;
        std::ofstream(path, std::ios::binary) << b;
        return path;
    }
    static StrDesc* s(const std::string& t) { return str_from_bytes(t.data(), uint32_t(t.size())); }
    // Every picture load: modes 32 and 256, and the dest's own palette mode.
    void expect_every_picture_load_refuses(const std::string& path) {
        set_dest(new_image(8, 8, 12, true));
        for (int32_t mode : {32, 256, -1}) {
            int32_t got = 0;
            EXPECT_EQ(error_of([&] { got = load_image(s(path), mode, mode != -1); }), 0) << path << " " << mode;
            EXPECT_EQ(got, -1) << path << " mode " << mode;
        }
        // The statements after it work.
        const int32_t good = load_image(s(good_picture_), 32, true);
        EXPECT_LT(good, -1) << "after " << path;
        if (good < -1) free_image(good, true);
    }
    void expect_every_font_load_refuses(const std::string& path) {
        for (const char* options : {"", "MONOSPACE,BOLD"}) {
            int32_t got = 0;
            EXPECT_EQ(error_of([&] { got = load_font(s(path), 16, s(options), true); }), 0) << path;
            EXPECT_EQ(got, -1) << path << " " << options;
        }
        const int32_t font = load_font(s(good_font), 16, nullptr, false);
        ASSERT_GE(font, 32) << "after " << path;
        const int32_t img = new_image(40, 40, 32, true);
        set_image_font(font, img, true);
        EXPECT_GT(text_pixel_width(s("MORV"), img, true), 0);
        free_image(img, true);
        free_font(font);
    }
    std::string dir_, good_picture_;
};

// Files whose bytes crash SDL_image (this week's XPMs and GIF).
TEST_F(HostileFiles, PicturesThatCrashTheReaderGiveMinusOneAndTheProgramGoesOn) {
    const Bytes xpm_head = "/* XPM */\nstatic char *x[] = {\n";
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"missing_colour.xpm", xpm_head + "\"2 2 1 1\",\n\"a c #FF0000\",\n\"ab\",\n\"ba\"};\n"},
        {"short_row.xpm", xpm_head + "\"4 2 1 1\",\n\"a c #FF0000\",\n\"aa\",\n\"aaaa\"};\n"},
        {"missing_rows.xpm", xpm_head + "\"2 9 1 1\",\n\"a c #FF0000\",\n\"aa\"};\n"},
        {"wide.xpm", xpm_head + "\"16384 1 1 1\",\n\"a c #FF0000\",\n\"aaaa\"};\n"},
        {"wide_frame.gif", gif_wide_frame()},
    };
    for (const auto& c : cases) expect_every_picture_load_refuses(write(c.name, c.bytes));
}

// Huge sizes, truncations and other files of our own.
TEST_F(HostileFiles, PicturesOfHugeSizesOrCutShortGiveMinusOne) {
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"huge_colours.xpm", "/* XPM */\nstatic char *x[] = {\n\"1 1 2000000000 1\",\n\"a c #FF0000\",\n\"a\"};\n"},
        {"truncated.gif", gif_wide_frame().substr(0, 20)},
        {"huge.png", Bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\x7f\xff\xff\xff\x7f\xff\xff\xff\x08\x06\0\0\0", 29)},
        {"truncated.png", Bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10", 20)},
        {"truncated.jpg", Bytes("\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0\xff\xdb", 22)},
        {"huge.bmp", Bytes("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xff\xff\xff\x7f\xff\xff\xff\x7f\x01\0\x20\0", 30)},
        {"huge.tga", Bytes("\0\0\2\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x20\0abcdefgh", 26)},
        {"empty.png", ""},
        {"random.pcx", Bytes("\x0a\x05\x01\x08\0\0\0\0\xff\xff\xff\xff", 12)},
    };
    for (const auto& c : cases) expect_every_picture_load_refuses(write(c.name, c.bytes));
}

TEST_F(HostileFiles, PicturesFromWhatIsNotAFileGiveMinusOneAtOnce) {
    const std::string fifo = dir_ + "pipe.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& path : {fifo, dir_, std::string("/dev/zero"), std::string("/dev/null")})
        expect_every_picture_load_refuses(path);
    // A file that grows while it is read: read to a bound, then refused or read.
    const std::string growing = write("growing.bmp", "BM");
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::ofstream out(growing, std::ios::binary | std::ios::app);
        const Bytes chunk(1 << 16, '\x7f');
        for (int i = 0; i < 400 && !done; ++i) out << chunk << std::flush;
    });
    const int32_t got = load_image(s(growing), 32, true);
    done = true;
    writer.join();
    EXPECT_EQ(got, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

TEST_F(HostileFiles, FontsGiveMinusOneAndTheProgramGoesOn) {
    const Bytes head = file_head(good_font, 4096);
    ASSERT_EQ(head.size(), 4096u);
    Bytes tables = head;
    tables.replace(4, 2, "\xFF\xFF");  // 65535 tables declared
    Bytes zero_offsets = head;
    for (size_t at = 12; at + 16 <= 12 + 16 * 4; at += 16) zero_offsets.replace(at + 8, 8, Bytes(8, '\xFF'));
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"truncated.ttf", head},
        {"tables.ttf", tables},
        {"offsets.ttf", zero_offsets},
        {"empty.ttf", ""},
        {"picture.ttf", good_picture_bytes},
        {"wide_frame.ttf", gif_wide_frame()},
    };
    for (const auto& c : cases) expect_every_font_load_refuses(write(c.name, c.bytes));
    const std::string fifo = dir_ + "pipe.ttf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, dir_, std::string("/dev/zero")}) expect_every_font_load_refuses(path);
}

// Loading from a named pipe gave the program thread to the pipe for ever: the
// load waited for a writer that never came.
TEST_F(HostileFiles, ANamedPipeNeverHoldsTheProgram) {
    const std::string fifo = dir_ + "named_pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::function<int32_t()> loads[] = {
        [&] { return load_image(s(fifo), 32, true); },
        [&] { return load_font(s(fifo), 16, nullptr, false); },
    };
    for (const auto& load : loads) {
        auto result = std::async(std::launch::async, load);
        const bool in_time = result.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        EXPECT_TRUE(in_time) << "a load waited on a named pipe";
        // Free a reader that did wait, so the test can end.
        for (int i = 0; i < 20 && result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready; ++i) {
            const int w = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (w >= 0) close(w);
        }
        EXPECT_EQ(result.get(), -1);
    }
}

}  // namespace
