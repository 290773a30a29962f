// Start-up in its fixed order: runtime memory, the window system and every
// subsystem's start, then the program and timer threads; the first thread
// then becomes the event thread.
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
#include "runtime/input/ime/ime.h"
#include "runtime/input/keyboard.h"
#include "runtime/input/keyboard_internal.h"
#include "runtime/input/mouse.h"
#include "runtime/input/mouse_internal.h"
#include "runtime/platform/window.h"
#include "runtime/system/files.h"
#include "runtime/sound/audio.h"
#include "runtime/system/files_internal.h"
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"
#include "runtime/system/net.h"
#include "runtime/system/net_internal.h"
#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr uint32_t sdl_init_flags = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO;

SDL_Thread* ProgramThread = nullptr;
SDL_Thread* TimerThread = nullptr;

// Start-up from the window system on: SDL and its clock, the fonts, the
// keyboard, the input method, the display and its window, and the mouse.
// Returns an exit code, or 0 to go on.
int start_window_system() {
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
    clock_anchor_startup();
    if (TTF_Init() < 0) return 7000;
    std::atexit(TTF_Quit);
    keyboard_startup();  // lock states, trap keys, repeat, Unicode, empty buffer
    if (!display_create_ime_overlay()) return 601;
    if (InputMethod_Init() != 0) return 602;
    ime_prepare_font_candidates();
    display_startup();
    window_scale_measure_desktop();
    display_window_startup();
    mouse_startup();
    return 0;
}

}  // namespace

int runtime_main(int argc, char** argv, ProgramEntry program) {
    // This thread runs start-up and then the event loop: the window system is
    // its alone.
    event_thread_claim();
    flags_reset();
    timer_traps_startup();
    process_enter_program_folder();
    image_table_init();
    low_memory_clear();
    memory_startup();
    files_startup();  // the restart reset closes files first
    sound_startup();
    net_startup();    // connections close with them, before the file numbers
    strings_startup();
    process_join_command_line(argc, argv);
    if (int code = start_window_system()) std::exit(code);
    init_builtin_display_data();
    images_startup();
    message_box_window_ready(true);
    ProgramThread = SDL_CreateThread(program, nullptr);
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
