// TCP/IP connections against real peers on the loopback, written here with
// plain sockets: addresses, the bytes of printed frames, lines gathered
// from frames with the put-back, dropped and hostile peers, handles of the
// wrong kind, and the external-address lookup.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/system/files.h"
#include "runtime/system/net.h"
#include "runtime/system/net_internal.h"
#include "support/runtime_started.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::string;

int32_t take_error() { return error_code.exchange(0); }
StrDesc* text(const std::string& s) { return str_from_bytes(s.data(), static_cast<uint32_t>(s.size())); }

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A plain peer: a listening socket on a free loopback port.
int plain_listen(uint16_t* port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t size = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return -1;
    *port = ntohs(a.sin_port);
    return fd;
}

int plain_connect(uint16_t port, bool wait = true) {
    int fd = socket(AF_INET, SOCK_STREAM | (wait ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in a = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && wait) {
        close(fd);
        return -1;
    }
    return fd;
}

int plain_accept(int listener) {
    pollfd p{listener, POLLIN, 0};
    return poll(&p, 1, 5000) == 1 ? accept(listener, nullptr, nullptr) : -1;
}

void plain_send(int fd, const Bytes& bytes) {
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
}

// Exactly n bytes from a plain peer, or what came within 5 s.
Bytes plain_read(int fd, size_t n) {
    Bytes got;
    char block[65536];
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) break;
        ssize_t r = recv(fd, block, std::min(sizeof block, n - got.size()), 0);
        if (r <= 0) break;
        got.append(block, static_cast<size_t>(r));
    }
    return got;
}

// Polls until done() holds, at most 5 s.
template <typename Done>
bool within(Done&& done) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One input statement on a connection: the line, completed, or "<none>".
std::string read_line_once(int32_t handle) {
    StrDesc* line = net_read_line(handle);
    std::string got = line ? std::string(str_view(line)) : "<none>";
    net_input_end(handle, line != nullptr);
    str_release_temps(0, 0);
    return got;
}

std::string next_line(int32_t handle) {
    std::string got;
    within([&] { return (got = read_line_once(handle)) != "<none>"; });
    return got;
}

// Reads what the peer still sends until it ends the connection: true when
// the end came within 5 s.
bool sees_end(int fd) {
    char block[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) return false;
        ssize_t r = recv(fd, block, sizeof block, 0);
        if (r <= 0) return r == 0;
    }
}

// A peer in Python on the loopback, started with the port as its argument.
// finish() waits for it to end and gives what it printed.
class PythonPeer {
public:
    PythonPeer(const char* script, uint16_t port) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string port_text = std::to_string(port);
        // The system's own, not a version manager's slow stand-in on the path.
        const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        const char* argv[] = {python, "-c", script, port_text.c_str(), nullptr};
        if (posix_spawnp(&pid_, python, &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_ = out[0];
    }
    ~PythonPeer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) close(output_);
    }
    // What it printed once it ended; "<still running>" when it did not within 30 s.
    std::string finish() {
        std::string printed;
        char block[256];
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        for (;;) {
            pollfd p{output_, POLLIN, 0};
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) return "<still running>";
            ssize_t n = read(output_, block, sizeof block);
            if (n <= 0) break;
            printed.append(block, static_cast<size_t>(n));
        }
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return printed;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

class Net : public RuntimeStarted {
protected:
    void TearDown() override {
        RuntimeStarted::TearDown();
        for (int fd : plain) close(fd);
    }
    int keep(int fd) {
        plain.push_back(fd);
        return fd;
    }
    // A host on a free port (ports are tried from one that depends on the process).
    int32_t open_host(uint16_t* port) {
        for (int i = 0; i < 200; ++i) {
            *port = static_cast<uint16_t>(20000 + (getpid() * 131 + i * 7) % 30000);
            if (int32_t h = net_open_host(text("TCP/IP:" + std::to_string(*port)))) return h;
        }
        return 0;
    }
    // A runtime client connected to a plain listener; `peer` is the accepted side.
    int32_t client_to_plain(int* peer) {
        uint16_t port = 0;
        int listener = keep(plain_listen(&port));
        int32_t client = net_open_client(text("TCP/IP:" + std::to_string(port) + ":127.0.0.1"));
        *peer = keep(plain_accept(listener));
        return client;
    }
    // A connection a runtime host accepted from a plain client `peer`.
    int32_t accepted_from_plain(int* peer, int32_t* host = nullptr) {
        uint16_t port = 0;
        int32_t h = open_host(&port);
        if (host) *host = h;
        *peer = keep(plain_connect(port));
        int32_t accepted = 0;
        within([&] { return (accepted = net_accept(h)) != 0; });
        return accepted;
    }
    std::vector<int> plain;
};

TEST_F(Net, AddressesOpenTheirPortOrRaiseFive) {
    // Upper-cased before the check; the port is the value modulo 65536.
    for (const char* address : {"tcp/ip:1234", "TCP/IP:66770", "Tcp/Ip:-64302", "TCP/IP: 1233.5"}) {
        SCOPED_TRACE(address);
        int32_t host = net_open_host(text(address));
        ASSERT_LT(host, 0);
        int peer = keep(plain_connect(1234));
        ASSERT_GE(peer, 0);
        int32_t accepted = 0;
        ASSERT_TRUE(within([&] { return (accepted = net_accept(host)) != 0; }));
        EXPECT_EQ(str_view(net_address(accepted)), "TCP/IP:1234:127.0.0.1");
        EXPECT_EQ(str_view(net_address(host)), "TCP/IP:1234:127.0.0.1");
        file_close(host);
        file_close(accepted);
        str_release_temps(0, 0);
    }
    EXPECT_EQ(take_error(), 0);
    for (const char* address : {"", "TCP/IP", "TCP:1234", " TCP/IP:1", "UDP/IP:1:x"}) {
        EXPECT_EQ(net_open_host(text(address)), 0) << address;
        EXPECT_EQ(take_error(), 5) << address;
    }
    for (const char* address : {"TCP/IP:1234", "TCP/IP:1234:", "TCP/IP", "tcp:1:localhost"}) {
        EXPECT_EQ(net_open_client(text(address)), 0) << address;
        EXPECT_EQ(take_error(), 5) << address;
    }
    // Failures to listen, resolve or connect are 0 and no error. The library
    // speaks IPv4 only: "::1" does not resolve.
    uint16_t busy = 0, unused = 0;
    ASSERT_LT(open_host(&busy), 0);
    EXPECT_EQ(net_open_host(text("TCP/IP:" + std::to_string(busy))), 0);
    close(plain_listen(&unused));  // a port nobody listens on now
    for (std::string address : {"TCP/IP:" + std::to_string(unused) + ":127.0.0.1", std::string("TCP/IP:1234:::1"),
                                std::string("TCP/IP:1:a\0b", 12)})
        EXPECT_EQ(net_open_client(text(address)), 0) << address;
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, EachPrintIsOneFrameOfTheSmallestClass) {
    int peer = -1;
    int32_t client = client_to_plain(&peer);
    ASSERT_LT(client, 0);
    struct Case {
        std::string text;
        int32_t space, tab, line_end;
        Bytes wire;
    };
    const std::string s300(300, 'a'), s70000(70000, 'b');
    const Case cases[] = {
        {"hi", 0, 0, 1, Bytes("\x02hi")},
        {"hi", 0, 0, 0, Bytes("\x82hi")},
        {"hi", 1, 0, 1, Bytes("\x03hi ")},
        {"hi", 0, 1, 0, Bytes("\x02hi")},  // a tab ends the frame's line too
        {"", 0, 0, 1, Bytes(1, '\0')},
        {"", 0, 0, 0, ""},  // nothing at all
        {"", 1, 0, 0, ""},
        {"abcd", 0, 0, 1,
         Bytes("\x04"
               "abcd")},
        {"abcde", 1, 0, 1,
         Bytes("\x05\x06"
               "abcde ")},
        {s300, 0, 0, 1, Bytes("\x06\x2c\x01") + s300},
        {s70000, 0, 0, 0, Bytes("\x87\x70\x11\x01\x00", 5) + s70000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 8));
        net_print(client, text(c.text), c.space, c.tab, c.line_end);
        net_print(client, text("."), 0, 0, 1);  // a marker after each
        EXPECT_EQ(plain_read(peer, c.wire.size() + 2), c.wire + "\x01.");
    }
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, LinesGatherFramesAndComeBackUnlessTheStatementCompletes) {
    int peer = -1;
    int32_t accepted = accepted_from_plain(&peer);
    ASSERT_LT(accepted, 0);
    EXPECT_EQ(net_eof(accepted), 0);
    plain_send(peer, "\x82hi");
    ASSERT_TRUE(within([&] { return net_connected(accepted) && net_buffered_bytes(accepted) == 3; }));
    EXPECT_EQ(read_line_once(accepted), "<none>");
    EXPECT_EQ(net_eof(accepted), -1);
    plain_send(peer, "\x01!");
    EXPECT_EQ(next_line(accepted), "hi!");
    EXPECT_EQ(net_eof(accepted), 0);
    // Every length class, empty continued frames and an empty line.
    plain_send(peer, Bytes("\x05\x03xyz\x06\x01\x00q\x07\x02\x00\x00\x00rs\x80\x80\x00", 19));
    EXPECT_EQ(next_line(accepted), "xyz");
    EXPECT_EQ(next_line(accepted), "q");
    EXPECT_EQ(next_line(accepted), "rs");
    EXPECT_EQ(next_line(accepted), "");
    // A statement that does not complete puts its lines back.
    plain_send(peer,
               "\x02"
               "ab\x02"
               "cd");
    ASSERT_TRUE(within([&] { return net_connected(accepted) && net_buffered_bytes(accepted) == 6; }));
    StrDesc* first = net_read_line(accepted);
    StrDesc* second = net_read_line(accepted);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(str_view(first), "ab");
    EXPECT_EQ(str_view(second), "cd");
    net_input_end(accepted, 0);
    EXPECT_EQ(net_eof(accepted), -1);
    EXPECT_EQ(read_line_once(accepted), "ab");
    EXPECT_EQ(read_line_once(accepted), "cd");
    EXPECT_EQ(net_buffered_bytes(accepted), 0u);
    // Within one statement an incomplete line is not read again.
    EXPECT_EQ(net_read_line(accepted), nullptr);
    plain_send(peer, "\x01z");
    ASSERT_TRUE(within([&] { return net_connected(accepted) && net_buffered_bytes(accepted) == 2; }));
    EXPECT_EQ(net_read_line(accepted), nullptr);
    net_input_end(accepted, 0);
    EXPECT_EQ(read_line_once(accepted), "z");
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, APeerThatGoesAwayIsDisconnectedNotAnError) {
    int peer = -1;
    int32_t host = 0;
    int32_t accepted = accepted_from_plain(&peer, &host);
    ASSERT_LT(accepted, 0);
    EXPECT_EQ(net_connected(accepted), -1);
    plain_send(peer, "\x02ok");
    shutdown(peer, SHUT_RDWR);
    EXPECT_TRUE(within([&] { return net_connected(accepted) == 0; }));
    // What came before the end is still there to read; sends are skipped.
    EXPECT_EQ(read_line_once(accepted), "ok");
    for (int i = 0; i < 3; ++i) net_print(accepted, text("lost"), 0, 0, 1);
    EXPECT_EQ(net_connected(accepted), 0);
    EXPECT_EQ(net_connected(host), -1);
    EXPECT_EQ(take_error(), 0);
    // One that resets the connection at once.
    int32_t reset = accepted_from_plain(&peer);
    linger abrupt{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    close(peer);
    plain.pop_back();
    EXPECT_TRUE(within([&] { return net_connected(reset) == 0; }));
    EXPECT_EQ(read_line_once(reset), "<none>");
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, FileNumbersAndNetworkHandlesAreNotMistaken) {
    int peer = -1;
    int32_t host = 0;
    int32_t accepted = accepted_from_plain(&peer, &host);
    ASSERT_LT(host, 0);
    ASSERT_LT(accepted, 0);
    char path[] = "/tmp/morv-net-XXXXXX";
    close(mkstemp(path));
    file_open(text(path), file_mode_binary, 0, 0, 1, 0, 0);
    ASSERT_EQ(take_error(), 0);
    struct Case {
        const char* what;
        int32_t handle;
        int (*call)(int32_t);
        int32_t error;
    };
    const Case cases[] = {
        {"print to a file number", 1, [](int32_t h) { return net_print(h, text("x"), 0, 0, 1), 0; }, 52},
        {"print to a host", host, [](int32_t h) { return net_print(h, text("x"), 0, 0, 1), 0; }, 52},
        {"line of a host", host, [](int32_t h) { return net_read_line(h) ? 1 : 0; }, 52},
        {"connected of a file", 1, net_connected, 52},
        {"connected of a free handle", -77, net_connected, 52},
        {"address of a file", 1, [](int32_t h) { return static_cast<int>(net_address(h)->length); }, 52},
        {"end of a host", host, file_eof, 52},
        {"accept on a connection", accepted, net_accept, 258},
        {"accept on a file", 1, net_accept, 258},
        {"raw write to a connection", accepted,
         [](int32_t h) { return static_cast<int>(file_raw_write(h, -1, "x", 1)); }, 52},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(c.handle), 0) << c.what;
        EXPECT_EQ(take_error(), c.error) << c.what;
    }
    // The close statement closes handles; freed indexes come back.
    file_close(accepted);
    EXPECT_EQ(plain_read(peer, 1), "");  // the peer sees the end
    EXPECT_EQ(net_open_host(text("TCP/IP:0")), accepted);
    // The close-all closes every handle before the file numbers.
    file_close_all();
    EXPECT_EQ(net_connected(host), 0);
    EXPECT_EQ(take_error(), 52);
    EXPECT_EQ(file_number_check(1), 0);
    unlink(path);
}

// What a buffer may hold for `bytes` received: they, rounded to the buffer's
// step, or half again as much as it held before it last grew.
uint64_t room_for(uint64_t bytes) { return (bytes * 3 / 2 + 2047) / 1024 * 1024; }

TEST_F(Net, HostilePeersNeitherHangNorSwellTheProgram) {
    int peer = -1;
    int32_t accepted = accepted_from_plain(&peer);
    ASSERT_LT(accepted, 0);
    // A header with a bit of 3-6 set ends the stream: the lines before it
    // stay to be read, the rest is dropped and the peer sees the end.
    plain_send(peer, "\x02ok\x08x\x01y");
    ASSERT_TRUE(within([&] { return net_connected(accepted) == 0; }));
    EXPECT_EQ(net_buffered_bytes(accepted), 3u);
    EXPECT_EQ(read_line_once(accepted), "ok");
    EXPECT_EQ(read_line_once(accepted), "<none>");
    EXPECT_EQ(net_buffer_capacity(accepted), 0u);
    EXPECT_TRUE(sees_end(peer));
    // So does a frame announcing more than a connection holds.
    int32_t huge = accepted_from_plain(&peer);
    plain_send(peer,
               Bytes("\x01"
                     "a\x07\xff\xff\xff\xff",
                     7));
    ASSERT_TRUE(within([&] { return net_connected(huge) == 0; }));
    EXPECT_EQ(read_line_once(huge), "a");
    EXPECT_EQ(net_buffered_bytes(huge), 0u);
    // A frame announcing 1 MiB and a trickle after it: only what came is held.
    int32_t trickle = accepted_from_plain(&peer);
    plain_send(peer, Bytes("\x07\x00\x00\x10\x00", 5));
    uint64_t sent = 5;
    for (int i = 0; i < 20; ++i, sent += 100) {
        plain_send(peer, Bytes(100, 'x'));
        ASSERT_TRUE(within([&] { return net_connected(trickle) && net_buffered_bytes(trickle) == sent + 100; }));
        EXPECT_EQ(read_line_once(trickle), "<none>");
        EXPECT_LE(net_buffer_capacity(trickle), room_for(sent + 100));
    }
    // Thousands of tiny frames: as lines, and as the pieces of one line.
    int32_t tiny = accepted_from_plain(&peer);
    Bytes lines, pieces;
    for (int i = 0; i < 20000; ++i) lines += Bytes("\x01") + static_cast<char>('a' + i % 26);
    for (int i = 0; i < 20000; ++i) pieces += "\x81-";
    plain_send(peer, lines + pieces + Bytes(1, '\0'));
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(next_line(tiny), std::string(1, static_cast<char>('a' + i % 26))) << i;
    EXPECT_EQ(next_line(tiny), std::string(20000, '-'));
    EXPECT_LE(net_buffer_capacity(tiny), room_for(lines.size() + pieces.size() + 1));
    // The room of a line longer than a buffer keeps goes back once it is read.
    const std::string big(6 << 20, 'B');
    std::thread sender([&] { plain_send(peer, Bytes("\x07\x00\x00\x60\x00", 5) + big + "\x01z"); });
    EXPECT_EQ(next_line(tiny), big);
    sender.join();
    EXPECT_LE(net_buffer_capacity(tiny), 1024u);
    EXPECT_EQ(next_line(tiny), "z");
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, AHostTakesABurstOfClientsAndSurvivesTheirGoing) {
    uint16_t port = 0;
    int32_t host = open_host(&port);
    ASSERT_LT(host, 0);
    constexpr int burst = 200;
    for (int i = 0; i < burst; ++i) keep(plain_connect(port, false));
    std::vector<int32_t> accepted;
    ASSERT_TRUE(within([&] {
        while (int32_t h = net_accept(host)) accepted.push_back(h);
        return accepted.size() == burst;
    }));
    for (int32_t h : accepted) EXPECT_EQ(net_connected(h), -1);
    for (int fd : plain) close(fd);
    plain.clear();
    for (int32_t h : accepted) EXPECT_TRUE(within([&] { return net_connected(h) == 0; }));
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, APeerThatNeverReadsCostsAPrintTheSendLimit) {
    net_set_send_limit_ms(300);
    int peer = -1;
    int32_t client = client_to_plain(&peer);
    ASSERT_LT(client, 0);
    const std::string block(1 << 20, 'z');
    int prints = 0;
    auto slowest = Clock::duration::zero();
    while (net_connected(client) && prints < 1000) {
        auto start = Clock::now();
        net_print(client, text(block), 0, 0, 1);
        slowest = std::max(slowest, Clock::now() - start);
        ++prints;
    }
    EXPECT_EQ(net_connected(client), 0) << prints << " prints all went out";
    EXPECT_GE(slowest, std::chrono::milliseconds(250));
    EXPECT_LT(slowest, std::chrono::milliseconds(2000));
    // The connection was shut: once the peer reads what came, it sees the end.
    EXPECT_TRUE(sees_end(peer));
    EXPECT_EQ(take_error(), 0);
}

// The send limit counts only the time in which the peer takes nothing: a
// reader that takes 64 KiB every 10 ms gets a line of 8 MiB whole.
TEST_F(Net, APeerThatReadsSlowlyGetsTheWholeLine) {
    net_set_send_limit_ms(200);
    uint16_t port = 0;
    int32_t host = open_host(&port);
    ASSERT_LT(host, 0);
    const std::string line(8 << 20, 's');
    PythonPeer reader(R"(
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 65536)
s.connect(("127.0.0.1", int(sys.argv[1])))
total = 0
while total < 5 + (8 << 20):
    block = s.recv(65536)
    if not block:
        break
    total += len(block)
    time.sleep(0.01)
print(total)
)",
                      port);
    int32_t accepted = 0;
    ASSERT_TRUE(within([&] { return (accepted = net_accept(host)) != 0; }));
    net_print(accepted, text(line), 0, 0, 1);
    EXPECT_EQ(net_connected(accepted), -1);
    EXPECT_EQ(reader.finish(), std::to_string(5 + line.size()) + "\n");
    EXPECT_EQ(take_error(), 0);
}

// An end that came right behind the data is seen by the first query.
TEST_F(Net, TheFirstQueryAfterTheLastDataSeesTheEnd) {
    uint16_t port = 0;
    int32_t host = open_host(&port);
    ASSERT_LT(host, 0);
    PythonPeer sender(R"(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.sendall(b"\x02hi")
s.close()
)",
                      port);
    ASSERT_EQ(sender.finish(), "");
    int32_t accepted = 0;
    ASSERT_TRUE(within([&] { return (accepted = net_accept(host)) != 0; }));
    EXPECT_EQ(net_connected(accepted), 0);
    EXPECT_EQ(read_line_once(accepted), "hi");
    EXPECT_EQ(take_error(), 0);
}

// Whatever a peer sends, a connection holds at most its limit (a smaller one
// here, which the sanitizers' allocators fill in time): a line that never
// ends, or a stream that went bad and goes on, ends the connection, and what
// could never be read is dropped.
TEST_F(Net, FloodingPeersEndTheirConnectionWithinTheLimit) {
    constexpr uint64_t limit = 4 << 20;
    net_set_receive_limit_bytes(limit);
    struct Case {
        const char* what;
        const char* start;
        size_t readable_lines;
    };
    const Case cases[] = {
        {"an endless line", "b''", 0},
        {"a bad header after a line", "b'\\x02ok\\x08'", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint16_t port = 0;
        int32_t host = open_host(&port);
        ASSERT_LT(host, 0);
        const std::string script = std::string(R"(
import socket, struct, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
frame = b"\x87" + struct.pack("<I", 65536) + b"x" * 65536
try:
    s.sendall()") +
            c.start + R"()
    while True:
        s.sendall(frame)
except OSError:
    pass
)";
        PythonPeer flood(script.c_str(), port);
        int32_t accepted = 0;
        ASSERT_TRUE(within([&] { return (accepted = net_accept(host)) != 0; }));
        uint64_t most = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (net_connected(accepted) && most <= 2 * limit && Clock::now() < deadline)
            most = std::max(most, net_buffer_capacity(accepted));
        EXPECT_EQ(net_connected(accepted), 0);
        EXPECT_LE(most, limit);
        EXPECT_EQ(flood.finish(), "");  // the peer saw the end and stopped
        for (size_t i = 0; i < c.readable_lines; ++i) EXPECT_EQ(read_line_once(accepted), "ok");
        EXPECT_EQ(read_line_once(accepted), "<none>");
        EXPECT_EQ(net_buffer_capacity(accepted), 0u);
        file_close_all();
    }
    net_set_receive_limit_bytes(0);
    EXPECT_EQ(take_error(), 0);
}

// Many peers together hold no more than the limit of all connections (small
// ones here). Whole lines wait in the socket until the program reads some,
// and then all of them come; parts of lines that fill the limit with no whole
// line anywhere are given up, one connection at a time, until the rest fit.
TEST_F(Net, PeersTogetherHoldNoMoreThanTheSharedLimit) {
    constexpr uint64_t limit = 1 << 20, total = 2 << 20;
    net_set_receive_limit_bytes(limit, total);
    struct Case {
        const char* what;
        const char* header;
        int frames;
        int disconnected;
    };
    const Case cases[] = {
        {"whole lines", "\\x07", 48, 0},  // 3 MiB a peer
        {"parts of lines", "\\x87", 12, 2},  // 768 KiB a peer, never ended
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint16_t port = 0;
        int32_t host = open_host(&port);
        ASSERT_LT(host, 0);
        const std::string script = std::string(R"(
import socket, struct, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
for i in range()") +
            std::to_string(c.frames) + R"():
    s.sendall(b")" +
            c.header + R"(" + struct.pack("<I", 65536) + bytes([65 + i % 26]) * 65536)
s.shutdown(socket.SHUT_WR) if )" +
            (c.disconnected ? "False" : "True") + R"( else None
while s.recv(65536):
    pass
)";
        std::vector<std::unique_ptr<PythonPeer>> peers;
        std::vector<int32_t> accepted;
        for (int i = 0; i < 4; ++i) {
            peers.push_back(std::make_unique<PythonPeer>(script.c_str(), port));
            int32_t a = 0;
            ASSERT_TRUE(within([&] { return (a = net_accept(host)) != 0; }));
            accepted.push_back(a);
        }
        const uint64_t each = static_cast<uint64_t>(c.frames) * (65536 + 5);
        uint64_t most = 0;
        int disconnected = 0;
        // Until the limit is full, or what is left fits whole.
        EXPECT_TRUE(within([&] {
            uint64_t held = 0;
            disconnected = 0;
            for (int32_t a : accepted) {
                disconnected += net_connected(a) == 0;
                held += net_buffered_bytes(a);
            }
            most = std::max(most, held);
            return c.disconnected ? disconnected == c.disconnected && held == 2 * each : held == total;
        }));
        EXPECT_LE(most, total);
        EXPECT_EQ(disconnected, c.disconnected);
        if (!c.disconnected) {
            // Every line of every peer comes once the program reads.
            for (int32_t a : accepted)
                for (int i = 0; i < c.frames; ++i)
                    ASSERT_EQ(next_line(a), std::string(65536, static_cast<char>('A' + i % 26))) << i;
            for (auto& peer : peers) EXPECT_EQ(peer->finish(), "");
        }
        file_close_all();
    }
    net_set_receive_limit_bytes(0);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Net, DescriptorsBeyondWhatSocketSetsWatchAreRefused) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 1100) GTEST_SKIP() << "the process may open only " << limit.rlim_cur << " files";
    uint16_t port = 0;
    int32_t host = open_host(&port);
    ASSERT_LT(host, 0);
    std::vector<int> filler;
    for (int fd = dup(0); fd >= 0 && fd < 1030; fd = dup(0)) filler.push_back(fd);
    int client = keep(plain_connect(port));
    // Taken from the queue and closed at once: the client sees the end.
    EXPECT_TRUE(within([&] {
        EXPECT_EQ(net_accept(host), 0);
        char b;
        return recv(client, &b, 1, MSG_DONTWAIT) == 0;
    }));
    // A host there would take no client: it is not opened.
    uint16_t free_port = 0;
    close(plain_listen(&free_port));
    EXPECT_EQ(net_open_host(text("TCP/IP:" + std::to_string(free_port))), 0);
    for (int fd : filler) close(fd);
    EXPECT_EQ(take_error(), 0);
}

// Without /proc the sockets' descriptors are found all the same: a host, a
// client to it and the accepted side carry a line each way. Hiding /proc
// takes a mount namespace of one's own, which only root may make.
TEST_F(Net, ConnectionsWorkWithoutProc) {
    pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0) _exit(77);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", "/proc", "tmpfs", 0, nullptr) != 0 || access("/proc/self/fd", F_OK) == 0)
            _exit(77);
        uint16_t port = 0;
        int32_t host = open_host(&port);
        if (!host) _exit(1);
        int32_t client = net_open_client(text("TCP/IP:" + std::to_string(port) + ":127.0.0.1"));
        if (!client) _exit(2);
        int32_t accepted = 0;
        if (!within([&] { return (accepted = net_accept(host)) != 0; })) _exit(3);
        net_print(client, text("there"), 0, 0, 1);
        net_print(accepted, text("back"), 0, 0, 1);
        if (next_line(accepted) != "there" || next_line(client) != "back") _exit(4);
        _exit(take_error() ? 5 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace of its own (not root)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A plain address-echo service on the loopback that answers one request with
// `reply` (or keeps silent while `reply` is empty); the request it got is kept.
struct EchoService {
    explicit EchoService(std::string reply) {
        listener = plain_listen(&port);
        worker = std::thread([this, reply] {
            int fd = plain_accept(listener);
            request = plain_read(fd, 1);
            pollfd p{fd, POLLIN, 0};
            while (request.find("\r\n\r\n") == std::string::npos && poll(&p, 1, 2000) == 1) {
                char block[512];
                ssize_t r = recv(fd, block, sizeof block, 0);
                if (r <= 0) break;
                request.append(block, static_cast<size_t>(r));
            }
            if (!reply.empty())
                send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            else
                poll(&p, 1, 3000);  // until the runtime gives up and closes
            close(fd);
        });
    }
    ~EchoService() {
        worker.join();
        close(listener);
    }
    uint16_t port = 0;
    int listener = -1;
    std::string request;
    std::thread worker;
};

TEST_F(Net, AHostsAddressComesFromTheConfiguredServiceOrLocalhost) {
    uint16_t port = 0;
    int32_t host = open_host(&port);
    ASSERT_LT(host, 0);
    const std::string local = "TCP/IP:" + std::to_string(port) + ":127.0.0.1";
    unsetenv(net_address_host_variable);
    EXPECT_EQ(str_view(net_address(host)), local);
    setenv(net_address_path_variable, "/ip", 1);
    struct Case {
        std::string reply, address;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n203.0.113.9\n", "203.0.113.9"},
        {"HTTP/1.1 200 OK\r\ncontent-length:7\r\n\r\n1.2.3.4 and more", "1.2.3.4"},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\n\r\n1.2.3.4", ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n1.2.3.4", ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n1.2.3.256", ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n<html>", ""},
        {"HTTP/1.1 200", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        EchoService service(c.reply);
        const std::string configured = "127.0.0.1:" + std::to_string(service.port);
        setenv(net_address_host_variable, configured.c_str(), 1);
        std::string want = c.address.empty() ? local : "TCP/IP:" + std::to_string(port) + ":" + c.address;
        EXPECT_EQ(str_view(net_address(host)), want);
        str_release_temps(0, 0);
        service.worker.join();
        service.worker = std::thread([] {});
        EXPECT_EQ(service.request.substr(0, service.request.find("\r\nConnection")),
                  "GET /ip HTTP/1.1\r\nHost: " + configured);
    }
    // A service that never answers holds the program no longer than the limit.
    setenv(net_address_timeout_variable, "300", 1);
    EchoService silent("");
    setenv(net_address_host_variable, ("127.0.0.1:" + std::to_string(silent.port)).c_str(), 1);
    auto start = Clock::now();
    EXPECT_EQ(str_view(net_address(host)), local);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(take_error(), 0);
}

}  // namespace
