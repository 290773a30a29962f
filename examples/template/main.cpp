// template: a first program on the MORV runtime, to copy and change.
//   An 80 x 25 text screen shows "Hello from MORV" in yellow on blue, the
//   command line, and the squares of 1 to 10, one to a line.
//   A key ends it; so does the time, when the command line is a number of
//   seconds (template 3). Without one it waits for a key.
//   On its way out it writes "template: 10 squares, sum 385" to stdout and
//   ends with exit code 0. Closing the window ends it at any time.
// SDL_VIDEODRIVER=dummy runs it without a window.
#include <morv/runtime.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// How every statement ends: the temporary strings it made are released, and
// while the runtime has something for the program (an error to report, the
// pause key, the window closed) the statement check runs with the statement's
// line number. There the runtime shows an error box, holds a paused program,
// or parks the program when it is to end.
void statement_end(uint32_t line) {
    str_release_temps(0, 0);
    if (event_pending.load()) statement_check(line);
}

int template_program(void*) {
    set_screen_mode(0, 0, 0, 0, 0, 1);
    statement_end(10);
    set_text_size(0, 80, 25, 3);
    statement_end(20);
    set_colours(14, 1, 0, 3);
    statement_end(30);
    clear_screen(0, 0, 0);
    statement_end(40);
    print_string(str_lit("Hello from MORV"), 1);
    statement_end(50);
    // Strings the runtime hands back are temporaries: str_concat consumes both
    // of its operands, and the statement's end releases what is left.
    print_string(str_concat(str_lit("Command line: "), command_line()), 1);
    statement_end(60);
    int32_t sum = 0;
    for (int32_t n = 1; n <= 10; ++n) {
        print_string(str_concat(str_concat(str_from_int32(n), str_lit(" squared is")), str_from_int32(n * n)), 1);
        sum += n * n;
        statement_end(70);
    }
    const std::string seconds_text(str_view(command_line()));
    const int32_t seconds = std::atoi(seconds_text.c_str());
    print_string(str_from_cstring(seconds > 0 ? "A key or the time ends it." : "A key ends it."), 1);
    statement_end(80);
    sleep_seconds(seconds, seconds > 0 ? 1 : 0);
    statement_end(90);
    std::printf("template: 10 squares, sum %d\n", int(sum));
    // Out before the shutdown starts, whatever becomes of the process after.
    std::fflush(stdout);
    end_program();
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, template_program); }
