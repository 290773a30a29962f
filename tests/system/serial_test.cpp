// Serial ports: the port-setting grammar over every item and default, and a
// pseudo-terminal pair from socat standing in for COM1: settings, bytes both
// ways, the waiting count and the read timeouts.
#include "system/files_fixture.h"
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <chrono>
#include <cstring>
#include <thread>
#include "runtime/platform/file_handle.h"
#include "runtime/system/files_internal.h"
#include "system/unprivileged.h"

extern char** environ;

namespace {

using files_detail::serial_settings_parse;

SerialSettings parsed(const std::string& settings) {
    SerialSettings s;
    s.port = 0;
    EXPECT_EQ(serial_settings_parse(settings.data(), settings.size(), &s), handle_ok) << settings;
    return s;
}

TEST(SerialSettings, ItemsAndDefaults) {
    using P = SerialParity;
    struct Case {
        const char* settings;
        uint8_t port;
        uint32_t speed;
        P parity;
        uint8_t data, stop_halves;
        bool rs, asc, lf;
        uint16_t cd, cs, ds, op;
    };
    const Case cases[] = {
        {"COM1:", 1, 300, P::even, 7, 2, false, false, false, 0, 1000, 1000, 10000},
        {"com255:9600,n,8,1,bin", 255, 9600, P::none, 8, 2, false, false, false, 0, 1000, 1000, 10000},
        {"COM2:1200,O,5,1.5", 2, 1200, P::odd, 5, 3, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:,,,", 1, 300, P::even, 7, 2, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:110", 1, 110, P::even, 7, 4, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:75,,5", 1, 75, P::even, 5, 3, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:111", 1, 111, P::even, 7, 2, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:110,S,6,1", 1, 110, P::space, 6, 2, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:,M,,2", 1, 300, P::mark, 7, 4, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:,PE", 1, 300, P::even_checked, 7, 2, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:9600,N,8,1,LF,ASC,RS,TB,RB2048", 1, 9600, P::none, 8, 2, true, true, true, 0, 1000, 1000, 10000},
        {"COM1:,,,,CD,CS,DS,OP", 1, 300, P::even, 7, 2, false, false, false, 0, 1000, 1000, 10000},
        {"COM1:,,,,CD200,CS0,DS50", 1, 300, P::even, 7, 2, false, false, false, 200, 0, 50, 2000},
        {"COM1:,,,,DS0", 1, 300, P::even, 7, 2, false, false, false, 0, 1000, 0, 0},
        {"COM1:,,,,DS65535,OP7", 1, 300, P::even, 7, 2, false, false, false, 0, 1000, 65535, 7},
        {"COM1:,,,,DS9000", 1, 300, P::even, 7, 2, false, false, false, 0, 1000, 9000, 65535},
        {"COM1:4294967295", 1, 4294967295u, P::even, 7, 2, false, false, false, 0, 1000, 1000, 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        SerialSettings s = parsed(c.settings);
        EXPECT_EQ(s.port, c.port);
        EXPECT_EQ(s.speed, c.speed);
        EXPECT_EQ(s.parity, c.parity);
        EXPECT_EQ(s.data_bits, c.data);
        EXPECT_EQ(s.stop_half_bits, c.stop_halves);
        EXPECT_EQ(s.rs, c.rs);
        EXPECT_EQ(s.asc, c.asc);
        EXPECT_EQ(s.lf, c.lf);
        EXPECT_EQ(s.cd_ms, c.cd);
        EXPECT_EQ(s.cs_ms, c.cs);
        EXPECT_EQ(s.ds_ms, c.ds);
        EXPECT_EQ(s.op_ms, c.op);
    }
}

TEST(SerialSettings, BadSettings) {
    for (const char* settings : {"COM0:",
                                 "COM01:",
                                 "COM256:",
                                 "COM1",
                                 "COMX:",
                                 "COM:",
                                 "COM1:0",
                                 "COM1:09600",
                                 "COM1:4294967296",
                                 "COM1:96A",
                                 "COM1:9600,X",
                                 "COM1:,NN",
                                 "COM1:,,4",
                                 "COM1:,,9",
                                 "COM1:,,08",
                                 "COM1:,,,3",
                                 "COM1:,,,1.0",
                                 "COM1:,,,01",
                                 "COM1:,,,.5",
                                 "COM1:9.6",
                                 "COM1:,,,,RS,RS",
                                 "COM1:,,,,BIN,ASC",
                                 "COM1:,,,,CD1,CD2",
                                 "COM1:,,,,TB,TB",
                                 "COM1:,,,,CD65536",
                                 "COM1:,,,,CD01",
                                 "COM1:,,,,RS1",
                                 "COM1:,,,,XY",
                                 "COM1:,,,,CD1A",
                                 "COM1:,,,,CD1.5",
                                 "COM1: 9600",
                                 "COM1:9600;N",
                                 "COM1:,,,,1",
                                 "COM1:RS"}) {
        SerialSettings s;
        EXPECT_EQ(serial_settings_parse(settings, std::strlen(settings), &s), handle_bad_settings) << settings;
    }
    // A name is a port only when "COM" and a digit begin it.
    for (const char* name : {"COM1:", "com9", "cOm0x"})
        EXPECT_TRUE(files_detail::serial_settings_named(name, std::strlen(name))) << name;
    for (const char* name : {"COM", "comments.txt", "COM:", "xCOM1:"})
        EXPECT_FALSE(files_detail::serial_settings_named(name, std::strlen(name))) << name;
}

// A pseudo-terminal pair joined by socat: the runtime's end is COM1 (through
// MORV_COM1), the test's end is the peer.
class SerialPort : public FileNumbers {
protected:
    void SetUp() override {
        FileNumbers::SetUp();
        std::string ours = "pty,raw,echo=0,link=" + path("com1");
        std::string theirs = "pty,raw,echo=0,link=" + path("peer");
        const char* argv[] = {"socat", ours.c_str(), theirs.c_str(), nullptr};
        ASSERT_EQ(posix_spawnp(&socat, "socat", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        for (int waited = 0; !(std::filesystem::exists(path("com1")) && std::filesystem::exists(path("peer")));
             waited += 5) {
            ASSERT_LT(waited, 5000) << "socat made no pseudo-terminals";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        setenv("MORV_COM1", path("com1").c_str(), 1);
        peer = ::open(path("peer").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(peer, 0);
    }
    void TearDown() override {
        file_close_all();
        if (peer >= 0) close(peer);
        kill(socat, SIGTERM);
        waitpid(socat, nullptr, 0);
        unsetenv("MORV_COM1");
        FileNumbers::TearDown();
    }
    // What the peer received within a second, once `count` bytes came.
    std::string peer_read(size_t count) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            struct pollfd p {
                peer, POLLIN, 0
            };
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[256];
            ssize_t n = ::read(peer, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    void peer_write(const std::string& bytes) const {
        ASSERT_EQ(::write(peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    pid_t socat = 0;
    int peer = -1;
};

struct FramingCase {
    const char* settings;
    speed_t speed;
    tcflag_t size, parity;
    bool two_stops;
};
const FramingCase FramingCases[] = {
    {"COM1:9600,N,8,1,BIN", B9600, CS8, 0, false},
    {"com1:1200,o,7,2,RS", B1200, CS7, PARENB | PARODD, true},
    {"COM1:,S,6", B300, CS6, PARENB | CMSPAR, false},
    {"COM1:115200,M,5,1.5", B115200, CS5, PARENB | CMSPAR | PARODD, true},
    {"COM1:,PE", B300, CS7, PARENB, false},
};

TEST(SerialSettings, TerminalSettingsOfEachFraming) {
    for (const FramingCase& c : FramingCases) {
        SCOPED_TRACE(c.settings);
        struct termios t {};
        serial_framing(t, parsed(c.settings));
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.two_stops);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity != 0);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    }
}

// The pseudo-terminal keeps the speed, stop bits, odd and stick parity and the
// raw mode; it always reports eight data bits without a parity bit.
TEST_F(SerialPort, SettingsAskedForAndBytesOut) {
    for (const FramingCase& c : FramingCases) {
        SCOPED_TRACE(c.settings);
        ASSERT_EQ(open(c.settings, file_mode_random, 1), 0);
        struct termios t;
        ASSERT_EQ(tcgetattr(file_os_handle(1), &t), 0);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.parity & (PARODD | CMSPAR));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.two_stops);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity != 0);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(write(1, c.settings), 0);
        EXPECT_EQ(peer_read(std::strlen(c.settings)), c.settings);
        // The port is ours alone while it is open.
        EXPECT_EQ(open("COM1:", file_mode_random, 2), 68);
        file_close(1);
    }
    // A speed without a terminal constant goes through the kernel's own call.
    ASSERT_EQ(open("COM1:250000,N,8,1", file_mode_random, 1), 0);
    EXPECT_EQ(write(1, "odd speed"), 0);
    EXPECT_EQ(peer_read(9), "odd speed");
    file_close(1);
    // Text transfer with LF: every carriage return is followed by a line feed.
    ASSERT_EQ(open("COM1:9600,N,8,1,ASC,LF", file_mode_output, 1), 0);
    EXPECT_EQ(write(1, "a\rb\r"), 0);
    EXPECT_EQ(peer_read(6), "a\r\nb\r\n");
    EXPECT_EQ(file_location(1), 0);
}

TEST_F(SerialPort, BytesInAreCountedAndRead) {
    ASSERT_EQ(open("COM1:9600,N,8,1,DS1000", file_mode_random, 1), 0);
    peer_write("hello");
    for (int waited = 0; file_location(1) < 5; ++waited) {
        ASSERT_LT(waited, 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(file_location(1), 5);
    EXPECT_EQ(read(1, 3), "hel");
    EXPECT_EQ(file_eof(1), 0);
    EXPECT_EQ(file_read_byte(1), 'l');
    EXPECT_EQ(file_location(1), 1);
    read(1, 1, 0);  // a port has no positions
    EXPECT_EQ(take_error(), 54);
    EXPECT_EQ(read(1, 1), "o");
}

TEST_F(SerialPort, ReadTimeoutsEndReadsInTheTimeGiven) {
    using Clock = std::chrono::steady_clock;
    struct Case {
        const char* settings;
        int at_least_ms, below_ms;
    };
    for (const Case& c : {Case{"COM1:9600,N,8,1,DS0", 0, 100}, Case{"COM1:9600,N,8,1,DS300", 280, 1000}}) {
        SCOPED_TRACE(c.settings);
        ASSERT_EQ(open(c.settings, file_mode_random, 1), 0);
        peer_write("ab");
        while (file_location(1) < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        char buffer[4] = {'?', '?', '?', '?'};
        auto start = Clock::now();
        EXPECT_EQ(file_raw_read(1, -1, buffer, sizeof buffer), 2);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_GE(ms, c.at_least_ms);
        EXPECT_LT(ms, c.below_ms);
        EXPECT_EQ(std::string(buffer, 4), std::string("ab\0\0", 4));
        EXPECT_EQ(file_eof(1), -1);
        file_close(1);
    }
}

TEST_F(SerialPort, PortsThatWillNotOpenAre68) {
    make("plain", "not a terminal");
    setenv("MORV_COM2", path("plain").c_str(), 1);
    setenv("MORV_COM3", path("none").c_str(), 1);
    for (const char* settings : {"COM2:", "COM3:"}) {
        EXPECT_EQ(open(settings, file_mode_random, 1), 68) << settings;
        EXPECT_EQ(file_number_check(1), 0);
    }
    unsetenv("MORV_COM2");
    unsetenv("MORV_COM3");
}

// The port is ours alone while open, and everyone's again once closed: for a
// later open of ours and for other programs. Root passes over a terminal's
// exclusive mode, so this runs as a user.
TEST_F(FileNumbers, APortOpensAgainOnceClosed) {
    EXPECT_EQ(run_unprivileged([&] {
                  int master = -1, slave = -1;
                  char name[256];
                  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return std::string("no pseudo-terminal");
                  close(slave);
                  setenv("MORV_COM1", name, 1);
                  std::string f;
                  for (int round = 1; round <= 3; ++round) {
                      const std::string at = "round " + std::to_string(round) + ": ";
                      if (open("COM1:9600,N,8,1", file_mode_random, 1) != 0) f += at + "refused; ";
                      int other = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
                      if (other >= 0 || errno != EBUSY) f += at + "another program opened it; ";
                      if (other >= 0) close(other);
                      file_close(1);
                      other = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
                      if (other < 0)
                          f += at + "closed, yet others are refused; ";
                      else
                          close(other);
                  }
                  close(master);
                  return f;
              }),
              "");
}

}  // namespace
