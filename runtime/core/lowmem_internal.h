// Start-up's and the tests' side of the emulated low memory.
#pragma once
#include "runtime/core/lowmem.h"

// Zeroes the whole image (start-up and tests).
void low_memory_clear();
