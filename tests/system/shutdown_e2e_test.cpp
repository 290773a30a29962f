// Files at the end of the program, in the running runtime: what a program
// wrote is in its file after a window close or a Break, whether the program
// thread parks between statements (the close-all runs) or never reaches a
// statement check (the process ends around it). A program whose standard
// streams are pipes ends within the bound whatever it does with them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/strings.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/process/process.h"
#include "runtime/system/files.h"
#include "support/sdl_events.h"
#include "system/unprivileged.h"

extern char** environ;

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string Written = "every byte written before the end\n";
std::string TargetFile;
std::atomic<bool> ProgramWrote{false};

void open_and_write() {
    file_open(str_from_cstring(TargetFile.c_str()), file_mode_output, 0, 0, 1, 0, 0);
    file_raw_write(1, -1, Written.data(), Written.size());
    ProgramWrote = true;
}

// A statement that never reaches a check: a computation without an end.
int busy_program(void*) {
    open_and_write();
    volatile uint64_t spins = 0;
    for (;;) spins = spins + 1;
}

// Waits between statements, checking whenever an event is pending.
int parked_program(void*) {
    open_and_write();
    for (;;) {
        uint64_t ticket = program_wakeup.ticket();
        if (event_pending.load()) statement_check(2);
        program_wakeup.wait(ticket, 100);
    }
}

enum class Ending { window_close, ctrl_break };

void push_ending(Ending ending) {
    SDL_Event event;
    if (ending == Ending::window_close) {
        std::memset(&event, 0, sizeof event);
        event.type = SDL_QUIT;
        SDL_PushEvent(&event);
        return;
    }
    event = key_event(SDL_KEYDOWN, SDLK_LCTRL, 0, KMOD_LCTRL);
    SDL_PushEvent(&event);
    event = key_event(SDL_KEYDOWN, SDLK_PAUSE, 0, KMOD_LCTRL);
    SDL_PushEvent(&event);
}

int64_t steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The child: the runtime with the program, a driver that ends it once the
// program wrote, and a note at exit of whether file number 1 was closed.
[[noreturn]] void run_runtime(ProgramEntry program, Ending ending) {
    std::atexit([] {
        if (file_number_check(1) == 0) std::fprintf(stderr, "FILES CLOSED\n");
    });
    std::thread([ending] {
        for (int waited = 0; !ProgramWrote.load(); waited += 2) {
            if (waited > 10000) std::_Exit(8);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // The steady clock is the system's: the parent reads the same one.
        std::fprintf(stderr, "ending at %lld ms\n", static_cast<long long>(steady_ms()));
        push_ending(ending);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::_Exit(9);  // the runtime did not end
    }).detach();
    char name[] = "morv";
    char* argv[] = {name, nullptr};
    runtime_main(1, argv, program);
    std::_Exit(10);
}

class FilesAtTheEnd : public ::testing::TestWithParam<Ending> {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // The death test's child runs this again: it takes the parent's folder.
        if (const char* given = std::getenv(folder_variable)) {
            folder = given;
        } else {
            char pattern[] = "/tmp/morv-end-XXXXXX";
            ASSERT_NE(mkdtemp(pattern), nullptr);
            folder = pattern;
            setenv(folder_variable, pattern, 1);
        }
        TargetFile = folder + "/out.txt";
    }
    void TearDown() override {
        unsetenv(folder_variable);
        std::filesystem::remove_all(folder);
    }

    static constexpr const char* folder_variable = "MORV_TEST_END_FOLDER";

    std::string written() const {
        std::ifstream in(TargetFile, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string folder;
};

TEST_P(FilesAtTheEnd, ProgramThatNeverChecksLosesNothing) {
    std::string printed;
    // Ended at once, the process reports no sanitizer's findings through its
    // exit code: they must not be in what it printed.
    EXPECT_EXIT(run_runtime(busy_program, GetParam()), ::testing::ExitedWithCode(0),
                AllOf(Not(HasSubstr("FILES CLOSED")), Not(HasSubstr("Sanitizer")),
                      ::testing::Truly([&](const std::string& text) { return printed = text, true; })));
    // The shutdown waits its bound for the program thread, then ends.
    const size_t at = printed.find("ending at ");
    ASSERT_NE(at, std::string::npos) << printed;
    EXPECT_LT(steady_ms() - std::atoll(printed.c_str() + at + 10), 3500);
    EXPECT_EQ(written(), Written);
}

TEST_P(FilesAtTheEnd, ParkedProgramHasItsFilesClosed) {
    EXPECT_EXIT(run_runtime(parked_program, GetParam()), ::testing::ExitedWithCode(0), HasSubstr("FILES CLOSED"));
    EXPECT_EQ(written(), Written);
}

INSTANTIATE_TEST_SUITE_P(Endings, FilesAtTheEnd, ::testing::Values(Ending::window_close, Ending::ctrl_break),
                         [](const auto& info) {
                             return info.param == Ending::window_close ? "WindowClose" : "CtrlBreak";
                         });

// The streams program (tests/support/stdio_program.cpp) with pipes for its
// three streams (or stdout and stderr one pipe, as 2>&1 makes them), on the
// dummy drivers, as the test's user or as a user without privileges.
struct StdioOptions {
    bool merged = false;
    bool unprivileged = false;
    std::vector<std::string> environment;  // NAME=value, added to the test's own
};

class StdioProgram {
public:
    explicit StdioProgram(std::vector<std::string> args, const StdioOptions& options = {}) {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
        args.insert(args.begin(), MORV_STDIO_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables{"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
        variables.insert(variables.end(), options.environment.begin(), options.environment.end());
        std::vector<char*> env;
        for (std::string& v : variables) env.push_back(v.data());
        for (char** e = environ; *e; ++e) env.push_back(*e);
        env.push_back(nullptr);
        const Unprivileged user = Unprivileged::user();
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(options.merged ? out[1] : err[1], 2);
            if (options.unprivileged && !user.become()) _exit(120);
            signal(SIGHUP, SIG_DFL);  // as a program started from a terminal has it
            execve(MORV_STDIO_PROGRAM, argv.data(), env.data());
            _exit(121);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        stdin_writer = in[1];  // kept open and silent
        stdout_reader = out[0];
        stderr_reader = options.merged ? dup(out[0]) : err[0];
        if (options.merged) close(err[0]);
    }
    ~StdioProgram() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : {stdin_writer, stdout_reader, stderr_reader}) close(fd);
    }
    // Reads stderr until `text` came, within 10 s.
    bool says(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (errors.find(text) == std::string::npos) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count());
            pollfd p{stderr_reader, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) != 1) return false;
            char block[512];
            ssize_t n = read(stderr_reader, block, sizeof block);
            if (n <= 0) return false;
            errors.append(block, static_cast<size_t>(n));
        }
        return true;
    }
    // The exit code once the process ended, within `ms`; -1 when it did not.
    int ended_within(int ms) {
        for (int waited = 0; waited <= ms; waited += 5) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    // All it printed on stderr, once it ended.
    std::string all_errors() {
        char block[4096];
        for (ssize_t n; (n = read(stderr_reader, block, sizeof block)) > 0;)
            errors.append(block, static_cast<size_t>(n));
        return errors;
    }
    std::string output() {
        std::string got;
        char block[4096];
        for (ssize_t n; (n = read(stdout_reader, block, sizeof block)) > 0;) got.append(block, static_cast<size_t>(n));
        return got;
    }

    pid_t pid = -1;
    int stdin_writer = -1, stdout_reader = -1, stderr_reader = -1;
    std::string errors;
};

// SIGTERM arrives as a window close. The program thread is blocked in a
// stream and holds its lock, or parked with bytes in stdout's buffer (which
// the end flushes, unless nobody reads the pipe), and stderr may be the full
// pipe itself, where the end's own words cannot go: either way the process
// ends with code 0 no later than the shutdown's wait after the close.
TEST(StreamsAtTheEnd, AProgramInItsStreamsEndsWithinTheBound) {
    char folder[] = "/tmp/morv-streams-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/by-number.txt";
    StdioOptions merged;
    merged.merged = true;
    struct Case {
        std::vector<std::string> args;
        StdioOptions options;
        int bound_ms;
        bool parked, stdout_read;
    };
    const Case cases[] = {
        {{"getchar"}, {}, 4000, false, false},
        {{"printf"}, {}, 4000, false, false},
        {{"eprintf"}, {}, 4000, false, false},
        {{"printf"}, merged, 4000, false, false},
        {{"parked", file}, {}, 2000, true, true},
        {{"parked-full", file}, {}, 4000, true, false},
        {{"parked-full", file}, merged, 4000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.options.merged ? " 2>&1" : ""));
        std::remove(file.c_str());
        StdioProgram program(c.args, c.options);
        ASSERT_GT(program.pid, 0);
        ASSERT_TRUE(program.says("ready\n")) << program.errors;
        auto closed = std::chrono::steady_clock::now();
        kill(program.pid, SIGTERM);
        EXPECT_EQ(program.ended_within(c.bound_ms + 2000), 0);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closed);
        EXPECT_LT(ms.count(), c.bound_ms);
        if (c.parked) {
            std::ifstream in(file);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "written by number");
        }
        if (c.stdout_read) {
            EXPECT_EQ(program.output(), "unflushed");
        }
        EXPECT_THAT(program.all_errors(), Not(HasSubstr("Sanitizer")));
    }
    std::filesystem::remove_all(folder);
}

// A serial port the program still has open when the window closes opens
// again for other programs, whether the program parked (the close-all closes
// it, and a write that waits for room gives up at the close) or is blocked in
// getchar (the port keeps its descriptor until the process is gone, but not
// its exclusive mode). Root passes over that mode: the program and the second
// open run without privileges.
TEST(StreamsAtTheEnd, APortLeftOpenOpensAgainAfterTheEnd) {
    struct Case {
        const char* mode;
        int bound_ms;
    };
    for (const Case& c : {Case{"port-write", 1500}, Case{"port-getchar", 4000}}) {
        SCOPED_TRACE(c.mode);
        int master = -1, slave = -1;
        char device[128];
        ASSERT_EQ(openpty(&master, &slave, device, nullptr, nullptr), 0);
        close(slave);
        const Unprivileged user = Unprivileged::user();
        ASSERT_TRUE(user.give(device));
        StdioOptions options;
        options.unprivileged = true;
        options.environment = {std::string("MORV_COM1=") + device};
        StdioProgram program({c.mode}, options);
        ASSERT_GT(program.pid, 0);
        ASSERT_TRUE(program.says("ready\n")) << program.errors;
        // The write has filled the terminal's buffer and waits for room.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto closed = std::chrono::steady_clock::now();
        kill(program.pid, SIGTERM);
        EXPECT_EQ(program.ended_within(c.bound_ms + 2000), 0);
        EXPECT_LT(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closed).count(),
            c.bound_ms);
        const std::string path = device;
        EXPECT_EQ(run_unprivileged([&] {
                      int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                      if (fd < 0) return std::string("the port does not open again: ") + std::strerror(errno);
                      close(fd);
                      return std::string();
                  }),
                  "");
        close(master);
    }
}

// A line put on the printer page goes to the print command at the end, also
// when the program is blocked in getchar and the end does not wait for it;
// a hang-up (the terminal the program was started from closes) ends it as
// SIGTERM does.
TEST(StreamsAtTheEnd, APageOnThePrinterIsPrintedAtTheEnd) {
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        char folder[] = "/tmp/morv-printed-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        const std::string page = std::string(folder) + "/page.ppm";
        StdioOptions options;
        options.environment = {"MORV_PRINT_COMMAND=cat > " + page};
        StdioProgram program({"lprint-getchar"}, options);
        ASSERT_GT(program.pid, 0);
        ASSERT_TRUE(program.says("ready\n")) << program.errors;
        kill(program.pid, signal);
        EXPECT_EQ(program.ended_within(6000), 0);
        // The command runs on after the process: its page is complete when it ends.
        uintmax_t size = 0;
        for (int waited = 0; waited < 5000 && size < 100; waited += 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::error_code error;
            size = std::filesystem::file_size(page, error);
            if (error) size = 0;
        }
        std::ifstream in(page, std::ios::binary);
        std::string head(2, '\0');
        in.read(head.data(), 2);
        EXPECT_EQ(head, "P6");
        std::filesystem::remove_all(folder);
    }
}

}  // namespace

// A thread of the program's own that calls the input-method library without
// pause, its calls failing, meets the end as the program thread does: the
// process ends with code 0, however the end falls between its calls.
TEST(StreamsAtTheEnd, AThreadOfTheProgramsOwnInTheInputMethodMeetsTheEnd) {
    for (int run = 0; run < 8; ++run) {
        SCOPED_TRACE(run);
        StdioProgram program({"ime-thread"});
        ASSERT_GT(program.pid, 0);
        ASSERT_TRUE(program.says("ready\n")) << program.errors;
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 15 * run));
        kill(program.pid, SIGTERM);
        EXPECT_EQ(program.ended_within(4000), 0);
    }
}
