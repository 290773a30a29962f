// The runtime with a program that uses its standard streams the way programs
// do, for the tests of the end: the first argument chooses what it does, and
// it says "ready" on stderr once it is doing it.
//   getchar          waits in getchar on stdin
//   printf           prints to stdout until a write blocks
//   eprintf          prints to stderr until a write blocks
//   lprint-getchar   puts a line on the printer page, then waits in getchar
//   port-getchar     opens serial port 1, then waits in getchar
//   port-write       writes 100 kB to serial port 1 (waiting up to 60 s for
//                    room), then waits between statements
//   parked FILE      writes FILE by number, leaves "unflushed" in stdout's
//                    buffer and waits between statements
//   parked-full FILE the same after filling the stdout pipe
//   ime-thread       a thread of the program's own calls the input-method
//                    library without pause, its calls failing, while the
//                    program thread waits between statements
#include "runtime/runtime.h"
#include "runtime/system/files.h"
#include "runtime/system/printer.h"
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string Mode, FileName;

void say_ready() { (void)!write(STDERR_FILENO, "ready\n", 6); }

void fill_stdout_pipe() {
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    fcntl(STDOUT_FILENO, F_SETFL, flags | O_NONBLOCK);
    static const char block[4096] = {};
    while (write(STDOUT_FILENO, block, sizeof block) > 0) {}
    fcntl(STDOUT_FILENO, F_SETFL, flags);
}

[[noreturn]] void wait_between_statements() {
    for (;;) {
        str_release_temps(0, 0);
        if (event_pending.load()) statement_check(1);
        SDL_Delay(5);
    }
}

int stdio_program(void*) {
    if (Mode == "lprint-getchar") printer_print_text("a page left on the printer", true);
    if (Mode == "port-getchar") file_open(str_from_cstring("COM1:9600,N,8,1"), file_mode_binary, 0, 0, 1, 0, 0);
    if (Mode == "getchar" || Mode == "lprint-getchar" || Mode == "port-getchar") {
        say_ready();
        return std::getchar();
    }
    if (Mode == "printf" || Mode == "eprintf") {
        static char line[65536];
        std::memset(line, 'p', sizeof line - 1);
        say_ready();
        for (;;) std::fprintf(Mode == "printf" ? stdout : stderr, "%s", line);
    }
    if (Mode == "ime-thread") {
        std::thread([] {
            for (;;) {
                InputMethod_Quit();
                InputMethod_Invalidate();
                InputMethod_Reset();
            }
        }).detach();
        say_ready();
        wait_between_statements();
    }
    if (Mode == "port-write") {
        static char bytes[100000];
        file_open(str_from_cstring("COM1:9600,N,8,1,CS60000"), file_mode_binary, 0, 0, 1, 0, 0);
        say_ready();
        file_raw_write(1, -1, bytes, sizeof bytes);
        wait_between_statements();
    }
    file_open(str_from_cstring(FileName.c_str()), file_mode_output, 0, 0, 1, 0, 0);
    file_raw_write(1, -1, "written by number", 17);
    // Ready first: with stderr on the same pipe, it could not be said after.
    say_ready();
    if (Mode == "parked-full") fill_stdout_pipe();
    std::printf("unflushed");
    wait_between_statements();
}

}  // namespace

int main(int argc, char** argv) {
    Mode = argc > 1 ? argv[1] : "";
    FileName = argc > 2 ? argv[2] : "";
    return runtime_main(argc, argv, stdio_program);
}
