// Start-up's side of the program folder. Not installed: the runtime's own.
#pragma once
#include "runtime/core/program_folder.h"

// Records the folder; start-up sets it once, before any other thread exists,
// and everything after only reads it.
void program_folder_set(const char* folder);
