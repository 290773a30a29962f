// Start-up in its fixed order: every subsystem's start, the window system's
// among them, then the program and timer threads; the first thread then
// becomes the event thread. The same list, read backwards, is the shutdown.
#include "runtime/process/process.h"
#include "runtime/process/spine.h"
#include "runtime/core/clock.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/message_box.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/input/ime/ime.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/input/mouse.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/platform/process.h"
#include "runtime/platform/window.h"
#include "runtime/system/files.h"
#include "runtime/sound/audio.h"
#include "runtime/system/files_internal.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"
#include "runtime/system/net.h"
#include "runtime/system/net_internal.h"
#include "runtime/system/printer.h"
#include "runtime/system/printer_internal.h"
#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr uint32_t sdl_init_flags = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO;

SDL_Thread* ProgramThread = nullptr;
ProgramEntry ProgramToRun = nullptr;

// The program thread: the program, and its end when its entry returns, as
// end_program ends it (the thread parks and the shutdown runs in full).
int run_program(void*) {
    ProgramToRun(nullptr);
    end_program();
}
SDL_Thread* TimerThread = nullptr;

// The process's own arguments, for the command-line step.
int ArgumentCount = 0;
char** Arguments = nullptr;

// SDL itself; its atexit handler quits it. Returns an exit code, or 0 to go on.
int sdl_startup() {
    if (!platform_display_available()) {
        std::fprintf(stderr,
                     "MORV needs a graphical display, and none was found: DISPLAY is not set.\n"
                     "Start it from a desktop session or under Xvfb, or set SDL_VIDEODRIVER=dummy "
                     "to run it without a window.\n");
        return 100;
    }
    window_scale_prepare();
    window_renderer_prepare();
    ime_before_window_system();  // the X input method is the runtime's, not SDL's
    if (SDL_Init(sdl_init_flags) < 0) {
        // An audio driver that cannot start (its sound server is not running,
        // or no such driver) costs the program its sound, not its start.
        const std::string why = SDL_GetError();
        if (SDL_Init(sdl_init_flags & ~SDL_INIT_AUDIO) < 0) {
            std::fprintf(stderr, "Unable to init SDL: %s\n", SDL_GetError());
            return 100;
        }
        audio_unavailable(why.c_str());
    }
    std::atexit(SDL_Quit);
    platform_display_loss_ends_process();
    platform_hangup_ends_process();
    return 0;
}

int font_library_startup() {
    if (TTF_Init() < 0) return 7000;
    std::atexit(TTF_Quit);
    return 0;
}

// The pixel formats and the video modes, and the input-method overlay surface.
int display_with_overlay_startup() {
    display_startup();
    return display_create_ime_overlay() ? 0 : 601;
}

int input_method_startup() {
    if (InputMethod_Init() != 0) return 602;
    ime_prepare_font_candidates();
    return 0;
}

// The display's window: the scale the desktop allows, the icon and the caption.
void display_window_with_scale_startup() {
    window_scale_measure_desktop();
    display_window_startup();
}

void message_box_startup() { message_box_window_ready(true); }
void message_box_shutdown() { message_box_window_ready(false); }

// Every registration point a lower subsystem offers, filled with what the
// upper ones call back. The subsystems never register themselves.
void hooks_startup() {
    key_trap_source_hook_set(key_trap_take);
    key_line_label_hook_set(key_line_label);
    text_printer_page_hook_set(printer_page_full);
    display_set_surface_listener(mouse_surface_changed);
    program_reset_hook_add(file_close_all);  // a restart closes the files
    program_reset_hook_add(sound_stop_all);  // and stops the sound
}

// The reset list goes with the memory's shutdown, which clears the program's
// registry.
void hooks_shutdown() {
    key_trap_source_hook_set(nullptr);
    key_line_label_hook_set(nullptr);
    text_printer_page_hook_set(nullptr);
    display_set_surface_listener(nullptr);
}

void memory_with_low_memory_startup() {
    low_memory_clear();
    memory_startup();
}

void program_folder_startup() { process_enter_program_folder(); }
void command_line_startup() { process_join_command_line(ArgumentCount, Arguments); }

// Where a step belongs, and what the end path does with its shutdown.
enum class StepKind : uint8_t {
    subsystem,  // every start-up, the tests' too
    process,  // the process's own (its folder, its arguments): not in tests
    window,  // needs the window system: not in tests without one
};
enum class AtEnd : uint8_t {
    skipped,  // the end path leaves it (why: the row's comment)
    when_parked,  // only with the program thread parked between two statements
    always,  // takes no lock the program thread may hold and never waits
};

struct StartupStep {
    int (*startup)();  // an exit code, or 0 to go on
    void (*shutdown)();  // none where a library's atexit handler ends it
    StepKind kind;
    AtEnd at_end;
};

template <void (*start)()>
int step() {
    start();
    return 0;
}

// Start-up's order. The end path's choices: memory, strings, tables and fonts
// a still-running thread may read are never freed as the process ends; steps
// with nothing to undo are left; what has effects outside the process (files,
// connections, the printer's page, sound and its decoder child, the pointer)
// is undone.
constexpr StartupStep StartupSteps[] = {
    {step<timer_traps_startup>, timer_traps_shutdown, StepKind::subsystem, AtEnd::skipped},
    {step<program_folder_startup>, nullptr, StepKind::process, AtEnd::skipped},
    // The timer thread may still read the tables as the process ends.
    {step<image_table_startup>, image_table_shutdown, StepKind::subsystem, AtEnd::skipped},
    // A program thread that did not park may still read its memory.
    {step<memory_with_low_memory_startup>, memory_shutdown, StepKind::subsystem, AtEnd::skipped},
    {step<files_startup>, files_shutdown, StepKind::subsystem, AtEnd::when_parked},
    {step<sound_startup>, sound_shutdown, StepKind::subsystem, AtEnd::when_parked},
    {step<net_startup>, net_shutdown, StepKind::subsystem, AtEnd::when_parked},
    // A program thread that did not park may still read its strings.
    {step<strings_startup>, strings_shutdown, StepKind::subsystem, AtEnd::skipped},
    {step<command_line_startup>, nullptr, StepKind::process, AtEnd::skipped},
    {sdl_startup, nullptr, StepKind::window, AtEnd::skipped},
    {step<clock_anchor_startup>, clock_anchor_shutdown, StepKind::window, AtEnd::skipped},
    {font_library_startup, nullptr, StepKind::window, AtEnd::skipped},
    // Lock states, trap keys, repeat, Unicode, an empty buffer.
    {step<keyboard_startup>, keyboard_shutdown, StepKind::window, AtEnd::skipped},
    // The refresh may still draw the overlay as the process ends.
    {display_with_overlay_startup, display_shutdown, StepKind::window, AtEnd::skipped},
    // The input method's library ends with the process.
    {input_method_startup, nullptr, StepKind::window, AtEnd::skipped},
    {step<display_window_with_scale_startup>, display_window_shutdown, StepKind::window, AtEnd::skipped},
    {step<mouse_startup>, mouse_shutdown, StepKind::window, AtEnd::always},
    // Loaded fonts a still-running program thread may draw with stay open.
    {step<fonts_startup>, fonts_shutdown, StepKind::subsystem, AtEnd::skipped},
    {step<images_startup>, images_shutdown, StepKind::subsystem, AtEnd::skipped},
    {step<text_startup>, text_shutdown, StepKind::subsystem, AtEnd::skipped},
    {step<printer_startup>, printer_shutdown, StepKind::subsystem, AtEnd::when_parked},
    // A runtime error raised while the process ends still shows its box.
    {step<message_box_startup>, message_box_shutdown, StepKind::window, AtEnd::skipped},
    // The hooks stay: a thread still running may call them.
    {step<hooks_startup>, hooks_shutdown, StepKind::subsystem, AtEnd::skipped},
};

// How far the last start-up went, and whether it had the window system.
size_t StepsStarted = 0;
bool StartedWithWindow = false;

bool step_runs(const StartupStep& s, bool with_window) { return with_window || s.kind == StepKind::subsystem; }

}  // namespace

int process_startup(bool with_window) {
    flags_reset();
    StartedWithWindow = with_window;
    StepsStarted = 0;
    for (const StartupStep& s : StartupSteps) {
        if (step_runs(s, with_window))
            if (int code = s.startup()) return code;
        ++StepsStarted;
    }
    return 0;
}

void process_shutdown() {
    for (size_t i = StepsStarted; i-- > 0;) {
        const StartupStep& s = StartupSteps[i];
        if (step_runs(s, StartedWithWindow) && s.shutdown) s.shutdown();
    }
    StepsStarted = 0;
}

void process_shutdown_at_end(bool program_parked) {
    for (size_t i = StepsStarted; i-- > 0;) {
        const StartupStep& s = StartupSteps[i];
        if (!s.shutdown || !step_runs(s, StartedWithWindow)) continue;
        if (s.at_end == AtEnd::always || (s.at_end == AtEnd::when_parked && program_parked)) s.shutdown();
    }
}

int runtime_main(int argc, char** argv, ProgramEntry program) {
    // This thread runs start-up and then the event loop: the window system is
    // its alone.
    event_thread_claim();
    ArgumentCount = argc;
    Arguments = argv;
    if (int code = process_startup(true)) std::exit(code);
    ProgramToRun = program;
    ProgramThread = SDL_CreateThread(run_program, nullptr);
    if (!ProgramThread) {
        std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
        return 0;
    }
    TimerThread = SDL_CreateThread(timer_thread_main, nullptr);
    if (!TimerThread) {
        std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
        return 0;
    }
    threads_started = 1;
    event_loop_run();
}

SDL_Thread* process_timer_thread() { return TimerThread; }
