// Shell commands: their effects, their streams, the commands that are refused,
// the interactive shell on a terminal of the test's own, the child that is
// not waited for, and a window close during a long command in the running
// runtime.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <SDL.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/requests.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/process/process.h"
#include "runtime/system/shell.h"
#include "runtime/system/shell_internal.h"
#include "support/runtime_started.h"

namespace {

class Shell : public RuntimeStarted {
protected:
    void SetUp() override {
        RuntimeStarted::SetUp();
        char pattern[] = "/tmp/morv-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::system(("rm -rf '" + folder_ + "'").c_str());
        RuntimeStarted::TearDown();
    }
    static StrDesc* s(const std::string& text) { return str_from_bytes(text.data(), uint32_t(text.size())); }
    std::string path(const char* name) const { return folder_ + "/" + name; }
    std::string read(const char* name) const {
        std::ifstream in(path(name));
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    // Polls for a file another process writes, for at most five seconds.
    bool appears(const char* name) const {
        for (int waited = 0; waited < 5000; waited += 5) {
            if (!read(name).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    std::string folder_;
};

TEST_F(Shell, WaitingCommandsRunWithTheirStreams) {
    EXPECT_STREQ(shell_interpreter(), "/bin/sh");
    int ours = open("/dev/null", O_RDONLY);  // a file of ours the command must not hold
    // The command's error stream, and "held" when it holds our file; it fails on purpose.
    auto command = [&](const char* file) {
        return "{ readlink /proc/$$/fd/2; test -e /proc/$$/fd/" + std::to_string(ours) + " && echo held; } > " +
            path(file) + "; exit 3";
    };
    shell_run(s(command("shown")), 1);
    shell_run_hidden(s(command("hidden")));
    close(ours);
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_EQ(read("hidden"), "/dev/null\n");
    EXPECT_NE(read("shown"), "");
    EXPECT_NE(read("shown"), "/dev/null\n");
    EXPECT_THAT(read("shown"), ::testing::Not(::testing::HasSubstr("held")));
    EXPECT_FALSE(shell_running());
}

TEST_F(Shell, EmptyAndCutCommandsAreRefused) {
    struct Case {
        const char* what;
        void (*run)();
        int32_t error;
    } cases[] = {
        {"hidden, empty", [] { shell_run_hidden(s("")); }, 5},
        {"no wait, empty", [] { shell_run_nowait(s("")); }, 5},
        {"a zero byte", [] { shell_run(s(std::string("true\0rm -rf /", 13)), 1); }, 5},
        {"hidden, a zero byte", [] { shell_run_hidden(s(std::string("true\0x", 6))); }, 5},
    };
    for (const Case& c : cases) {
        error_code = 0;
        c.run();
        EXPECT_EQ(error_code.exchange(0), c.error) << c.what;
    }
    // With an error pending nothing runs.
    error_code = 53;
    shell_run(s("touch " + path("ran")), 1);
    EXPECT_EQ(read("ran"), "");
}

TEST_F(Shell, NoCommandWithoutTerminalDoesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setsid();  // no controlling terminal from here on
            shell_run(nullptr, 0);
            shell_run(s(""), 1);
            std::_Exit(error_code.load() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The user's shell gets the terminal's foreground, reads its commands there,
// and the terminal comes back afterwards.
TEST_F(Shell, NoCommandRunsTheShellInOurTerminal) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        setenv("SHELL", "/bin/sh", 1);
        shell_run(nullptr, 0);
        bool back = tcgetpgrp(slave) == getpgrp();
        std::ofstream(path("me")) << getpgrp() << (back ? " back" : " lost");
        std::_Exit(0);
    }
    close(slave);
    const std::string typed = "set -- $(cat /proc/$$/stat); echo $5 $8 > " + path("shell") + "; exit\n";
    ASSERT_EQ(::write(master, typed.data(), typed.size()), ssize_t(typed.size()));
    // The terminal's echo and prompts are read away so that it never fills.
    std::thread([master] {
        char buffer[256];
        while (::read(master, buffer, sizeof buffer) > 0) {}
    }).detach();
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(status, 0);
    std::istringstream shell(read("shell"));
    long group = 0, foreground = 0;
    shell >> group >> foreground;
    EXPECT_EQ(group, foreground) << "the shell had the terminal's foreground";
    EXPECT_NE(std::to_string(group) + " back", read("me")) << "in a group of its own";
    EXPECT_THAT(read("me"), ::testing::EndsWith(" back"));
}

TEST_F(Shell, NoWaitCommandLeavesNoChildOfOurs) {
    shell_run_nowait(s("echo $$ > " + path("pid") + "; exec sleep 5"));
    EXPECT_EQ(error_code.load(), 0);
    ASSERT_TRUE(appears("pid"));
    const pid_t sleeper = std::stoi(read("pid"));
    EXPECT_EQ(kill(sleeper, 0), 0) << "it still runs after the call returned";
    // Neither the command nor the shell that started it is our child: no zombie can stay.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    kill(sleeper, SIGKILL);
}

// --- The running runtime ------------------------------------------------------------

std::atomic<uint32_t> FramesAtCommand{0};
std::atomic<bool> LongCommandStarts{false};

// Where the long command leaves its pid: named by the test process, whose
// death-test child is a fresh run of the test program.
const char* sleeper_pid_file() {
    if (!std::getenv("MORV_TEST_SLEEPER_PID"))
        setenv("MORV_TEST_SLEEPER_PID", ("/tmp/morv-sleeper-" + std::to_string(getpid())).c_str(), 1);
    return std::getenv("MORV_TEST_SLEEPER_PID");
}

int long_command_program(void*) {
    const std::string command = "echo $$ > " + std::string(sleeper_pid_file()) +
        "; exec sleep 30 </dev/null >/dev/null 2>&1";
    // Full screen is left for a command and taken up again after it.
    event_request(
        EventRequestKind::once,
        [] {
            display_set_video_modes({{1024, 768}, {800, 450}});
        },
        true);
    request_full_screen(2);
    shell_run(str_lit("true"), 1);
    if (get_full_screen() == 1) std::fprintf(stderr, "full screen again\n");
    LongCommandStarts = true;
    shell_run(str_from_cstring(command.c_str()), 1);
    std::fprintf(stderr, "the wait ended\n");
    for (;;) statement_check(20);
}

void expect_within(int timeout_ms, bool (*condition)(), int code) {
    for (int waited = 0; !condition(); waited += 2) {
        if (waited > timeout_ms) std::_Exit(code);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST(ShellEndToEnd, WindowCloseDuringALongCommandEndsTheRuntime) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string pid_file = sleeper_pid_file();
    unlink(pid_file.c_str());
    auto run = [] {
        std::thread([] {
            expect_within(
                10000, [] { return LongCommandStarts && shell_running(); }, 8);
            FramesAtCommand = display_frame_counter();
            if (get_full_screen() == 0) std::fprintf(stderr, "windowed during the command\n");
            expect_within(
                2000, [] { return display_frame_counter() >= FramesAtCommand + 5; }, 9);
            std::fprintf(stderr, "frames drawn during the command\n");
            SDL_Event quit{};
            quit.type = SDL_QUIT;
            SDL_PushEvent(&quit);
            // The command sleeps 30 s: a runtime that waited for it would
            // still run long after this bound, which leaves room for a loaded
            // machine.
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::_Exit(11);  // still running 10 s after the close
        }).detach();
        char name[] = "morv";
        char* argv[] = {name, nullptr};
        runtime_main(1, argv, long_command_program);
        std::_Exit(10);
    };
    EXPECT_EXIT(
        run(), ::testing::ExitedWithCode(0),
        "full screen again\nwindowed during the command\nframes drawn during the command\n(.|\n)*the wait ended");
    std::ifstream in(pid_file);
    pid_t sleeper = 0;
    in >> sleeper;
    unlink(pid_file.c_str());
    ASSERT_GT(sleeper, 0);
    EXPECT_EQ(kill(sleeper, 0), 0) << "the command is left to finish";
    kill(sleeper, SIGKILL);
}

}  // namespace
