// The running executable's own path, and the hang-up that ends the process.
#pragma once
#include <cstddef>

// Writes the executable's full path (NUL-terminated) into buffer; false when
// it cannot be read or does not fit.
bool platform_executable_path(char* buffer, size_t size);

// A hang-up (the terminal the program was started from closes) ends the
// process as SIGTERM does, through the window system's own handling of it.
// A hang-up the process was started ignoring (nohup) stays ignored.
void platform_hangup_ends_process();
