// What the event loop and the tests ask of the shell.
#pragma once
#include "runtime/system/shell.h"

// True while a command started by shell_run or shell_run_hidden runs; the
// event loop reads it.
bool shell_running();
// The interpreter chosen at the first shell call: "/bin/sh", "sh" from the
// search path, or "" when neither starts (commands are then not run).
const char* shell_interpreter();
