// The running executable's own path.
#pragma once
#include <cstddef>

// Writes the executable's full path (NUL-terminated) into buffer; false when
// it cannot be read or does not fit.
bool platform_executable_path(char* buffer, size_t size);
