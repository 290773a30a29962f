// Storage of LowMemoryImage.
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include <cstring>

namespace {
alignas(64) uint8_t LowMemoryImage[low_memory_size];
}

uint8_t* low_memory() { return LowMemoryImage; }

void low_memory_clear() { std::memset(LowMemoryImage, 0, sizeof LowMemoryImage); }
