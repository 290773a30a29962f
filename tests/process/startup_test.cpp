// Start-up and the event loop's pieces: the program folder, the joined command
// line, the chain-state check, the timer-tick bytes, and the quit statement's
// orderly end through the real process entry.
#include "runtime/core/clock.h"
#include "runtime/process/spine.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/threads.h"
#include "runtime/process/process.h"
#include "runtime/process/process_internal.h"
#include "runtime/core/strings.h"
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <chrono>
#include <climits>
#include <cstdio>
#include <string>
#include <thread>

namespace {

std::string folder_of(const char* path) {
    char folder[64];
    program_folder_of(path, folder, sizeof folder);
    return folder;
}

TEST(ProgramFolder, CutAtTheLastSeparator) {
    EXPECT_EQ(folder_of("/usr/games/morv"), "/usr/games");
    EXPECT_EQ(folder_of("C:\\games\\morv.exe"), "C:\\games");
    EXPECT_EQ(folder_of("C:morv.exe"), "C:");
    EXPECT_EQ(folder_of("/opt/a:b/morv"), "/opt/a:b");
    // A program at the root keeps the root; a bare name leaves the folder empty.
    EXPECT_EQ(folder_of("/morv"), "/");
    EXPECT_EQ(folder_of("morv"), "");
    EXPECT_EQ(folder_of(""), "");
    EXPECT_EQ(folder_of(nullptr), "");
}

TEST(ProgramFolder, LongPathIsCutToTheBuffer) {
    std::string path(200, 'a');
    path += "/morv";
    char folder[16];
    program_folder_of(path.c_str(), folder, sizeof folder);
    EXPECT_EQ(std::string(folder), std::string(15, 'a'));
}

uint32_t ticks_stored() {
    const uint8_t* m = low_memory() + low_timer_ticks;
    return m[0] | (m[1] << 8) | (m[2] << 16);
}

TEST(TimerTicks, LowThreeBytesOfEighteenPointTwoPerSecond) {
    low_memory_clear();
    event_loop_store_ticks(0);
    EXPECT_EQ(ticks_stored(), 0u);
    event_loop_store_ticks(43200000);  // noon
    EXPECT_EQ(ticks_stored(), 786240u);
    event_loop_store_ticks(86399999);  // the last millisecond of the day
    EXPECT_EQ(ticks_stored(), 1572479u);
    EXPECT_EQ(low_memory()[low_timer_ticks + 3], 0);  // the fourth byte is never written
}

TEST(TimerTicks, WrapAtMidnightWithTheMillisecondCount) {
    ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0);
    const uint32_t now = SDL_GetTicks();
    clock_anchor_set(now - 2000, 86399000);  // started a second before midnight
    const uint32_t ms = clock_ms_of_day();
    EXPECT_GE(ms, 1000u);
    EXPECT_LT(ms, 2000u);
    event_loop_store_ticks(ms);
    EXPECT_LT(ticks_stored(), 40u);
    SDL_Quit();
}

// --- Through the real process entry, in a child process -------------------------------

int print_command_line_and_quit(void*) {
    std::fprintf(stderr, "ARGS[%.*s]\n", int(str_view(command_line()).size()), str_view(command_line()).data());
    end_program();
}

int run_with_args(std::initializer_list<const char*> args, ProgramEntry program) {
    static char storage[8][64];
    static char* argv[9];
    int argc = 0;
    for (const char* a : args) {
        std::snprintf(storage[argc], sizeof storage[argc], "%s", a);
        argv[argc] = storage[argc];
        ++argc;
    }
    argv[argc] = nullptr;
    return runtime_main(argc, argv, program);
}

TEST(ProcessEntry, ArgumentsJoinedWithOneSpaceAndQuitEndsWithZero) {
    EXPECT_EXIT(run_with_args({"morv", "alpha", "two  words", "z"}, print_command_line_and_quit),
                ::testing::ExitedWithCode(0), "ARGS\\[alpha two  words z\\]");
}

TEST(ProcessEntry, NoArgumentsGiveAnEmptyCommandLine) {
    EXPECT_EXIT(run_with_args({"morv"}, print_command_line_and_quit), ::testing::ExitedWithCode(0), "ARGS\\[\\]");
}

// A program that returns from its entry ends as end_program ends it: at once,
// with code 0, and not left behind an open window (exit 9 from the watchdog).
TEST(ProcessEntry, AProgramThatReturnsEnds) {
    auto returning = [](void*) -> int {
        std::fprintf(stderr, "returning\n");
        return 0;
    };
    EXPECT_EXIT(
        {
            std::thread([] {
                std::this_thread::sleep_for(std::chrono::seconds(10));
                std::_Exit(9);
            }).detach();
            run_with_args({"morv"}, returning);
        },
        ::testing::ExitedWithCode(0), "returning");
}

int chain_then_report(void*) {
    chain_state_check();
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    std::fprintf(stderr, "ARGS[%.*s] CWD[%s] FILE[%d]\n", int(str_view(command_line()).size()),
                 str_view(command_line()).data(), cwd, access("chain042.tmp", F_OK) == 0 ? 1 : 0);
    end_program();
}

std::string own_folder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    std::string s(path);
    return s.substr(0, s.rfind('/'));
}

TEST(ChainState, TaggedCommandLineRestoresFolderAndArguments) {
    // Start-up enters the program's folder, where a chaining program leaves its file.
    const std::string file = own_folder() + "/chain042.tmp";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("/tmp\r\n", f);
    std::fclose(f);
    EXPECT_EXIT(run_with_args({"morv", "x", "y", "(unique-tag:=/@*$+-)chain042.tmp"}, chain_then_report),
                ::testing::ExitedWithCode(0), "ARGS\\[x y\\] CWD\\[/tmp\\] FILE\\[0\\]");
    std::remove(file.c_str());
}

// A command line far larger than the string heap's first block: the check's
// new string makes the heap grow under the bytes it copies from.
int chain_then_check_long(void*) {
    chain_state_check();
    std::string_view line = str_view(command_line());
    bool intact = line.size() == 600000 && line.find_first_not_of('a') == std::string_view::npos;
    std::fprintf(stderr, "LONG[%s %zu]\n", intact ? "intact" : "damaged", line.size());
    end_program();
}

TEST(ChainState, AHugeTaggedCommandLineComesThroughIntact) {
    // A file of its own: the tests may run side by side.
    const std::string file = own_folder() + "/chain043.tmp";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("/tmp", f);
    std::fclose(f);
    static std::string huge(600000, 'a');
    static char tag[] = "(unique-tag:=/@*$+-)chain043.tmp";
    static char name[] = "morv";
    static char* argv[] = {name, huge.data(), tag, nullptr};
    EXPECT_EXIT(runtime_main(3, argv, chain_then_check_long), ::testing::ExitedWithCode(0), "LONG\\[intact 600000\\]");
    std::remove(file.c_str());
}

TEST(ChainState, OrdinaryCommandLinesStayUnchanged) {
    // 31 characters are one too few to carry the tag and the file name.
    EXPECT_EXIT(run_with_args({"morv", "(unique-tag:=/@*$+-)chain42.tmp"}, chain_then_report),
                ::testing::ExitedWithCode(0), "ARGS\\[\\(unique-tag:=/@\\*\\$\\+-\\)chain42.tmp\\]");
    EXPECT_EXIT(run_with_args({"morv", "a", "(unique-tag:=/@*$+-)chain042.txt"}, chain_then_report),
                ::testing::ExitedWithCode(0), "ARGS\\[a \\(unique-tag");
}

}  // namespace
