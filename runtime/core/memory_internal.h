// Runtime memory's start-up and shutdown, its allocator, and the counts and
// forced failures of the tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include "runtime/core/memory.h"

// --- Start-up and shutdown ---------------------------------------------------
// Takes the first permanent block, empties the low-block table and the
// registries, and makes the return stack at its initial capacity.
// LowMemoryImage itself is zeroed by the start-up before this runs.
void memory_startup();
// Frees every block, the return stack and the registries (tests; the process
// itself never gives its memory back). memory_startup may run again after it.
void memory_shutdown();

// Size of the current block and bytes still free in it (tests).
size_t perm_pool_block_size();
size_t perm_pool_bytes_left();

// The general allocator as runtime memory uses it: zero-filled, and it honours
// memory_fail_next_allocation. Null on failure; the caller raises its error.
void* memory_calloc(size_t count, size_t size);
void memory_free(void* p);

// Number of live blocks (tests).
uint32_t low_block_live_count();

// Forgets every registered array, variable block and hook (memory_shutdown).
void program_registry_clear();

// --- Tests ---------------------------------------------------------------------
// Makes the next general allocation made here fail, so the critical paths
// (256, 257, 504) can be reached on purpose.
void memory_fail_next_allocation();
