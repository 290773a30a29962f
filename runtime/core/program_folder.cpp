// Storage of the program folder: the process finds it, the program and the
// font look-up read it.
#include "runtime/core/program_folder.h"
#include "runtime/core/program_folder_internal.h"
#include <string>

namespace {
std::string ProgramFolder;
}  // namespace

const char* program_folder() { return ProgramFolder.c_str(); }

void program_folder_set(const char* folder) { ProgramFolder = folder ? folder : ""; }
