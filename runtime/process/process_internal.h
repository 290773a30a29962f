// The pieces of the process entry its tests drive.
#pragma once
#include <cstdint>
#include "runtime/process/process.h"

// The folder of an executable path: cut at the last '/', '\\' or just after ':'.
void program_folder_of(const char* exe_path, char* folder, uint32_t size);
