// Child processes for shell commands: a command started with its arguments, the
// interactive shell in the terminal we were started from, and the bounded wait
// for either to end.
#pragma once
#include <spawn.h>
#include <cstdint>

struct ChildProcess {
    int32_t pid = 0;
    int32_t pidfd = -1;  // the kernel's handle that becomes readable when the child ends
    bool owns_terminal = false;  // the child was given the terminal's foreground
    int32_t exit_status = -1;  // once ended: the exit code, or 128 + the signal that ended it
};

// Spawn attributes for any child: our worker threads run with SIGINT, SIGTERM,
// SIGCHLD and others blocked, and a child inherits neither that nor anything
// we ignore.
void spawn_signal_defaults(posix_spawnattr_t* attr);

// Starts argv[0] (searched on PATH when it holds no "/") with the arguments up
// to the null entry. With `discard_output` the child's standard streams are
// /dev/null, else it shares ours. Our other open files stay ours, and the
// child starts with no signal blocked or ignored. False when it did not start.
bool child_process_start(ChildProcess* child, const char* const* argv, bool discard_output);
// Starts `shell` interactively in our controlling terminal and gives it the
// terminal's foreground. False, starting nothing, when we have no terminal or
// are not in its foreground.
bool child_process_start_in_terminal(ChildProcess* child, const char* shell);
// Waits at most timeout_ms for the child to end. True once it has: it is
// reaped (no zombie stays), its exit status kept, the terminal taken back.
bool child_process_wait(ChildProcess* child, uint32_t timeout_ms);
// Stops watching a child that goes on running after we end: it is not reaped
// here (whoever inherits it does). A shell in our terminal loses the
// terminal and is hung up, as a terminal's own shell does to its jobs.
void child_process_release(ChildProcess* child);
