// Shell commands through /bin/sh -c, the interactive shell in our terminal, and
// the bounded wait that a window close ends.
#include "runtime/system/shell.h"
#include "runtime/system/shell_internal.h"
#include <atomic>
#include <cstdlib>
#include <string>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/strings.h"
#include "runtime/display/display.h"
#include "runtime/platform/child_process.h"

namespace {

// How long one wait for a child lasts before stop_threads is looked at again:
// a window close is seen within a frame.
constexpr uint32_t wait_slice_ms = 16;

std::atomic<uint8_t> ShellRunning{0};
std::string Interpreter;
bool InterpreterChosen = false;

// Copies the command and consumes its string; false when it holds a zero byte.
bool take_command(StrDesc* s, std::string* out) {
    *out = std::string(str_view(s));
    str_consume(s);
    return out->find('\0') == std::string::npos;
}

// True when the child ended; false when the shutdown began first, and the
// child then runs on without us.
bool wait_for(ChildProcess* child) {
    while (!child_process_wait(child, wait_slice_ms)) {
        if (stop_threads.load()) {
            child_process_release(child);
            return false;
        }
    }
    return true;
}

bool interpreter_starts(const char* path) {
    const char* argv[] = {path, "-c", ":", nullptr};
    ChildProcess probe;
    return child_process_start(&probe, argv, true) && wait_for(&probe) && probe.exit_status == 0;
}

const std::string& interpreter() {
    if (!InterpreterChosen) {
        if (interpreter_starts("/bin/sh"))
            Interpreter = "/bin/sh";
        else if (interpreter_starts("sh"))
            Interpreter = "sh";
        InterpreterChosen = !stop_threads.load();
    }
    return Interpreter;
}

// Runs a waiting child with the shell-running flag up; one that cannot be
// started is let be.
template <typename Start>
void run_waiting(Start start) {
    ChildProcess child;
    if (!start(&child)) return;
    ShellRunning.store(1);
    wait_for(&child);
    ShellRunning.store(0);
}

void run_command(const std::string& command, bool discard_output) {
    const std::string& sh = interpreter();
    if (sh.empty()) return;
    const char* argv[] = {sh.c_str(), "-c", command.c_str(), nullptr};
    run_waiting([&](ChildProcess* child) { return child_process_start(child, argv, discard_output); });
}

void run_terminal_shell() {
    const char* shell = std::getenv("SHELL");
    if (!shell || !*shell) shell = "/bin/sh";
    run_waiting([shell](ChildProcess* child) { return child_process_start_in_terminal(child, shell); });
}

// The command's console is our terminal, which a full-screen window would hide.
template <typename Run>
void run_windowed(Run run) {
    const int32_t state = get_full_screen();
    if (state != 0) request_full_screen(1);
    run();
    if (state != 0 && !stop_threads.load()) request_full_screen(state == 2 ? 3 : 2);
}

}  // namespace

bool shell_running() { return ShellRunning.load() != 0; }

const char* shell_interpreter() { return interpreter().c_str(); }

void shell_run(StrDesc* command, int32_t command_given) {
    std::string text;
    bool usable = take_command(command, &text);
    if (runtime_error_pending()) return;
    if (!usable) return runtime_error(error_illegal_function_call);
    if (!command_given) text.clear();
    run_windowed([&] {
        if (text.empty())
            run_terminal_shell();
        else
            run_command(text, false);
    });
}

void shell_run_hidden(StrDesc* command) {
    std::string text;
    bool usable = take_command(command, &text);
    if (runtime_error_pending()) return;
    if (!usable || text.empty()) return runtime_error(error_illegal_function_call);
    run_windowed([&] { run_command(text, true); });
}

void shell_run_nowait(StrDesc* command) {
    std::string text;
    bool usable = take_command(command, &text);
    if (runtime_error_pending()) return;
    if (!usable || text.empty()) return runtime_error(error_illegal_function_call);
    const std::string& sh = interpreter();
    if (sh.empty()) return;
    // A first shell starts the command as its background job and ends at once:
    // the command is then the system's child, not ours. The command string
    // reaches the second shell as one argument, never re-read by the first.
    const char* argv[] = {sh.c_str(), "-c", "\"$0\" -c \"$1\" &", sh.c_str(), text.c_str(), nullptr};
    ChildProcess starter;
    if (child_process_start(&starter, argv, false)) wait_for(&starter);
}
