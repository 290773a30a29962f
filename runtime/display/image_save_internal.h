// Test hook of the picture writer.
#pragma once
#include <cstddef>
#include "runtime/display/image_files.h"

// From now on a save fails, as on a full disk, once `bytes` bytes of the file
// are written; SIZE_MAX puts things back (tests).
void image_save_fail_writes_after(size_t bytes);
