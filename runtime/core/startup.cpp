// The process: start-up in its fixed order, the event loop that the first
// thread becomes, the timer thread, and the shutdown that ends them all.
#include "runtime/core/startup.h"
#include "runtime/core/clock.h"
#include "runtime/core/errors.h"
#include "runtime/core/event_loop.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/core/traps.h"
#include "runtime/display/display.h"
#include "runtime/display/fonts.h"
#include "runtime/display/images.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/input/ime/ime.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/mouse.h"
#include "runtime/platform/message_box.h"
#include "runtime/platform/process.h"
#include "runtime/platform/window.h"
#include "runtime/system/files.h"
#include "runtime/system/printer.h"
#include <SDL.h>
#include <SDL_ttf.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uint32_t sdl_init_flags = 0x131;  // timer, audio, video, CD-ROM
constexpr size_t folder_buffer_size = 65536;
// How long the timer thread rests per pass while no timer trap is switched on.
constexpr uint32_t idle_timer_rest_ms = 5;

char ProgramFolder[folder_buffer_size];
StrDesc* CommandLine = nullptr;
StrDesc* WindowTitle = nullptr;
std::string ImeFontPaths[4];
SDL_Thread* ProgramThread = nullptr;
SDL_Thread* TimerThread = nullptr;

void join_command_line(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    CommandLine = str_new(0, 0);
    WindowTitle = str_new(0, 0);
    str_assign(CommandLine, str_from_bytes(joined.data(), uint32_t(joined.size())));
}

void enter_program_folder() {
    char path[folder_buffer_size];
    if (!platform_executable_path(path, sizeof path)) return;
    program_folder_of(path, ProgramFolder, sizeof ProgramFolder);
    if (ProgramFolder[0] && chdir(ProgramFolder) != 0) {
        // The working directory stays where it was; relative paths then follow it.
    }
}

void prepare_ime_fonts() {
    const char* windir = std::getenv("WinDir");
    std::string base = windir ? windir : "";
    ImeFontPaths[0] = "cyberbit.ttf";
    ImeFontPaths[1] = base + "\\fonts\\cyberbit.ttf";
    ImeFontPaths[2] = base + "\\fonts\\arialuni.ttf";
    ImeFontPaths[3] = base + "\\fonts\\msmincho.ttf";
    const char* paths[4];
    for (int i = 0; i < 4; ++i) paths[i] = ImeFontPaths[i].c_str();
    ime_set_font_candidates(paths, 4);
}

int timer_thread(void*) {
    for (uint32_t pass = 1;; ++pass) {
        bool traps_on = timer_traps_poll(SDL_GetTicks() * 0.001);
        // With no timer trap switched on there is nothing to resolve to the
        // millisecond, so the thread rests between passes.
        SDL_Delay(!traps_on ? idle_timer_rest_ms : pass % 4 == 0 ? 1 : 0);
        if (stop_threads.load()) {
            threads_stopped.fetch_or(2);
            return 0;
        }
    }
}

// Start-up steps 6 to 14: the window system and what depends on it. Returns
// an exit code, or 0 to go on.
int start_window_system() {
    if (!platform_display_available()) {
        std::fprintf(stderr,
                     "MORV needs a graphical display, and none was found: DISPLAY is not set.\n"
                     "Start it from a desktop session or under Xvfb, or set SDL_VIDEODRIVER=dummy "
                     "to run it without a window.\n");
        return 100;
    }
    if (SDL_Init(sdl_init_flags) < 0) {
        std::fprintf(stderr, "Unable to init SDL: %s\n", SDL_GetError());
        return 100;
    }
    std::atexit(SDL_Quit);
    clock_anchor_startup();
    if (TTF_Init() < 0) return 7000;
    std::atexit(TTF_Quit);
    keyboard_startup();  // lock states, trap keys, repeat, Unicode, empty buffer
    if (!display_create_ime_overlay()) return 601;
    if (InputMethod_Init() != 0) return 602;
    prepare_ime_fonts();
    display_startup();
    SDL_WM_SetCaption("Untitled", "Untitled");
    mouse_startup();
    return 0;
}

}  // namespace

void program_folder_of(const char* exe_path, char* folder, uint32_t size) {
    if (!folder || size == 0) return;
    folder[0] = '\0';
    if (!exe_path) return;
    size_t n = std::strlen(exe_path);
    size_t cut = 0;
    bool found = false;
    for (size_t i = n; i-- > 0;) {
        char c = exe_path[i];
        if (c == '\\' || c == '/') {
            // A program at the root keeps the root as its folder.
            cut = i == 0 ? 1 : i;
            found = true;
            break;
        }
        if (c == ':') {
            cut = i + 1;
            found = true;
            break;
        }
    }
    if (!found) return;
    if (cut >= size) cut = size - 1;
    std::memcpy(folder, exe_path, cut);
    folder[cut] = '\0';
}

StrDesc* command_line() { return CommandLine; }

void set_window_title(StrDesc* title) {
    if (error_code.load() || !WindowTitle) return;
    str_assign(WindowTitle, str_concat(title, str_chr(0)));
    const char* text = reinterpret_cast<const char*>(WindowTitle->data);
    if (WindowTitle->length) SDL_WM_SetCaption(text, text);
}

void chain_state_check() {
    std::string_view line = str_view(CommandLine);
    static constexpr std::string_view tag = "(unique-tag:=/@*$+-)chain";
    if (line.size() <= 31 || !line.ends_with(".tmp") || line.substr(line.size() - 32, 25) != tag) return;
    std::string file(line.substr(line.size() - 12));
    char folder[folder_buffer_size] = {};
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        size_t n = std::fread(folder, 1, sizeof folder - 1, f);
        std::fclose(f);
        std::remove(file.c_str());
        while (n > 0 && (folder[n - 1] == '\n' || folder[n - 1] == '\r' || folder[n - 1] == '\0')) --n;
        folder[n] = '\0';
        if (n > 0 && chdir(folder) != 0) {
            // The folder is gone: the program starts where it stands.
        }
    }
    size_t keep = line.size() - 32;
    if (keep > 0 && line[keep - 1] == ' ') --keep;
    str_assign(CommandLine, str_from_bytes(line.data(), uint32_t(keep)));
}

const char* program_folder() { return ProgramFolder; }

int runtime_main(int argc, char** argv, ProgramEntry program) {
    flags_reset();
    timer_traps_startup();
    enter_program_folder();
    image_table_init();
    low_memory_clear();
    memory_startup();
    strings_startup();
    join_command_line(argc, argv);
    if (int code = start_window_system()) std::exit(code);
    init_builtin_display_data();
    images_startup();
    message_box_window_ready(true);
    ProgramThread = SDL_CreateThread(program, nullptr);
    if (!ProgramThread) {
        std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
        return 0;
    }
    TimerThread = SDL_CreateThread(timer_thread, nullptr);
    if (!TimerThread) {
        std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
        return 0;
    }
    threads_started = 1;
    event_loop_run();
}

void end_program() {
    exit_requested = 1;
    end_program_thread();
}

void end_program_thread() {
    threads_stopped.fetch_or(1);
    while (!stop_threads.load()) SDL_Delay(16);
    // The thread cannot be ended from outside here, so it stays parked for good
    // while the event thread ends the process. It sleeps outside SDL, which the
    // exit handlers shut down under it.
    for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(16));
}

void runtime_shutdown() {
    stop_threads = 1;
    event_pending = 1;
    device_pause_state = 2;
    // The program thread parks at its next statement check; one that never
    // reaches one (a statement that waits on nothing we can wake) is not
    // waited for past a couple of seconds.
    for (int waited = 0; !(threads_stopped.load() & 1) && waited < 2000; waited += 16) SDL_Delay(16);
    for (int waited = 0; !(threads_stopped.load() & 2) && waited < 2000; waited += 16) SDL_Delay(16);
    if ((threads_stopped.load() & 2) && TimerThread) SDL_WaitThread(TimerThread, nullptr);
    printer_flush();
    file_close_all();
    mouse_shutdown();
    if (threads_stopped.load() != 3) {
        // A worker still runs: the exit handlers must not pull SDL from under it.
        std::fflush(nullptr);
        _exit(0);
    }
    std::exit(0);
}
