// The process: its entry, which runs start-up, the event loop and the shutdown,
// and what start-up leaves for the program (its arguments; its folder is in
// <morv/core/program_folder.h>, which this header includes).
#pragma once
#include "runtime/core/program_folder.h"
#include <cstdint>

struct StrDesc;

// The program thread's entry: the compiled main module.
using ProgramEntry = int (*)(void*);

// Runs start-up, the event loop and the shutdown; returns only when a worker
// thread could not be started (0) or start-up failed with its exit code.
int runtime_main(int argc, char** argv, ProgramEntry program);

// The program's arguments joined with single spaces (a permanent string).
StrDesc* command_line();
// The chain-state check, the main module's first action: a command line left
// by a chaining program names the folder to continue in; the check restores
// the working directory and the program's own arguments.
void chain_state_check();
