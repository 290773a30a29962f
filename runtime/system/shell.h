// Shell commands: a command run through the command interpreter, waiting,
// hidden or without waiting, and the interactive shell. Only the program's own
// command string reaches the interpreter; each call returns at once while a
// runtime error is pending and consumes its string. A command holding a zero
// byte is refused with error 5 (the interpreter would see only its first part).
#pragma once
#include <cstdint>

struct StrDesc;

// Runs the command and waits for it, sharing our standard streams. With no
// command (not given, or empty) runs the user's shell ($SHELL, else /bin/sh)
// in the terminal we were started from, and does nothing when there is none.
// Full screen is left for the run and taken up again after it. A window close
// ends the wait within a frame; the command is left to finish on its own.
void shell_run(StrDesc* command, int32_t command_given);
// The same with the command's streams on /dev/null. An empty command is error 5.
void shell_run_hidden(StrDesc* command);
// Starts the command and returns at once; it is nobody's child of ours, so it
// leaves no zombie and runs on after we end. An empty command is error 5.
void shell_run_nowait(StrDesc* command);
