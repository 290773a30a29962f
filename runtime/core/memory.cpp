// The permanent pool, the low-memory block area and the return-point stack.
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include <cstdlib>
#include <cstring>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/lowmem.h"

// NOLINTBEGIN(cppcoreguidelines-no-malloc): the runtime's allocator takes memory from the C library
namespace {

constexpr uint32_t no_record = 0xFFFFFFFF;
constexpr size_t perm_alignment = 8;

struct PermPoolState {
    uint8_t* start = nullptr;
    uint8_t* used = nullptr;
    uint8_t* end = nullptr;
    size_t size = 0;
};
PermPoolState PermPool;
// Every block the pool ever took, so that a test can hand them back.
std::vector<uint8_t*> PermBlocks;

struct LowBlockRecord {
    uint32_t start;  // LowMemoryImage offsets
    uint32_t end;
    uint32_t size;
    uint32_t index;
    uint32_t next;  // next lower block, or no_record
};
LowBlockRecord LowBlockRecords[low_block_record_count];
// Head of the live blocks, highest address first.
uint32_t LowBlockList = no_record;
uint32_t ReleasedIndexes[low_block_record_count];
uint32_t ReleasedCount = 0;
uint32_t NeverUsedIndex = 0;

struct ReturnStackState {
    uint32_t* points = nullptr;
    uint32_t depth = 0;
    uint32_t capacity = 0;
};
ReturnStackState ReturnStack;

bool FailNextAllocation = false;

bool take_block(size_t size) {
    auto* block = static_cast<uint8_t*>(memory_calloc(size, 1));
    if (!block) return false;
    PermBlocks.push_back(block);
    PermPool.start = block;
    PermPool.used = block;
    PermPool.end = block + size;
    PermPool.size = size;
    return true;
}

void low_blocks_empty() {
    LowBlockList = no_record;
    ReleasedCount = 0;
    NeverUsedIndex = 0;
}

// A record index: the last one released, else one never used (critical 507
// when those run out; no_record should it return).
uint32_t low_block_take_index() {
    if (ReleasedCount > 0) return ReleasedIndexes[--ReleasedCount];
    if (NeverUsedIndex >= low_block_record_count) {
        runtime_error(error_out_of_memory_7);
        return no_record;
    }
    return NeverUsedIndex++;
}

}  // namespace

void* memory_calloc(size_t count, size_t size) {
    if (FailNextAllocation) {
        FailNextAllocation = false;
        return nullptr;
    }
    return std::calloc(count, size);
}

void memory_free(void* p) { std::free(p); }

void memory_fail_next_allocation() { FailNextAllocation = true; }

// --- Start-up and shutdown ---------------------------------------------------

void memory_startup() {
    if (!take_block(perm_pool_first_block_size)) runtime_error(error_out_of_memory_4);
    low_blocks_empty();
    ReturnStack.points = static_cast<uint32_t*>(memory_calloc(return_stack_initial_capacity, sizeof(uint32_t)));
    if (!ReturnStack.points) runtime_error(error_out_of_stack_space);
    ReturnStack.capacity = ReturnStack.points ? return_stack_initial_capacity : 0;
    ReturnStack.depth = 0;
}

void memory_shutdown() {
    for (uint8_t* block : PermBlocks) memory_free(block);
    PermBlocks.clear();
    PermPool = PermPoolState{};
    low_blocks_empty();
    memory_free(ReturnStack.points);
    ReturnStack = ReturnStackState{};
    program_registry_clear();
    FailNextAllocation = false;
}

// --- Permanent pool ----------------------------------------------------------

void* perm_alloc(uint32_t n) {
    if (!PermPool.used && !take_block(perm_pool_first_block_size)) {
        runtime_error(error_out_of_memory_4);
        return nullptr;
    }
    size_t left = static_cast<size_t>(PermPool.end - PermPool.used);
    size_t pad = (perm_alignment - reinterpret_cast<uintptr_t>(PermPool.used) % perm_alignment) % perm_alignment;
    if (pad + n >= left) {
        // Reaching the end exactly also moves on: the rest of the old block is
        // abandoned and the next block is larger than twice the last.
        if (!take_block(PermPool.size * 2 + n)) {
            runtime_error(error_out_of_memory_4);
            return nullptr;
        }
        pad = 0;  // calloc's blocks are aligned for any record
    }
    uint8_t* p = PermPool.used + pad;
    PermPool.used = p + n;
    return p;
}

size_t perm_pool_block_size() { return PermPool.size; }

size_t perm_pool_bytes_left() { return static_cast<size_t>(PermPool.end - PermPool.used); }

// --- Low-memory block area ---------------------------------------------------

void* low_block_alloc(uint32_t n) {
    if (n > low_block_max_size) {
        runtime_error(error_out_of_memory_5);
        return nullptr;
    }
    if (n == 0) return low_memory() + low_block_area_end;
    n = (n + low_block_granule - 1) & ~(low_block_granule - 1);

    // First fit from the top: the first gap, going down, that holds n bytes.
    uint32_t top = low_block_area_end;
    uint32_t above = no_record;
    uint32_t below = LowBlockList;
    while (below != no_record && top - LowBlockRecords[below].end < n) {
        top = LowBlockRecords[below].start;
        above = below;
        below = LowBlockRecords[below].next;
    }
    if (top < low_block_area_start + n) {
        runtime_error(error_out_of_memory_6);
        return nullptr;
    }
    uint32_t index = low_block_take_index();
    if (index == no_record) return nullptr;

    LowBlockRecord& rec = LowBlockRecords[index];
    rec.start = top - n;
    rec.end = top;
    rec.size = n;
    rec.index = index;
    rec.next = below;
    if (above == no_record)
        LowBlockList = index;
    else
        LowBlockRecords[above].next = index;
    return low_memory() + rec.start;
}

void low_block_free(void* p) {
    auto* bytes = static_cast<uint8_t*>(p);
    uint8_t* base = low_memory();
    if (!bytes || bytes < base + low_block_area_start || bytes >= base + low_block_area_end) return;
    auto offset = static_cast<uint32_t>(bytes - base);
    uint32_t above = no_record;
    for (uint32_t rec = LowBlockList; rec != no_record; rec = LowBlockRecords[rec].next) {
        if (LowBlockRecords[rec].start == offset) {
            if (above == no_record)
                LowBlockList = LowBlockRecords[rec].next;
            else
                LowBlockRecords[above].next = LowBlockRecords[rec].next;
            ReleasedIndexes[ReleasedCount++] = rec;
            return;
        }
        if (LowBlockRecords[rec].start < offset) return;  // the list descends
        above = rec;
    }
}

uint32_t low_block_live_count() {
    uint32_t count = 0;
    for (uint32_t rec = LowBlockList; rec != no_record; rec = LowBlockRecords[rec].next) ++count;
    return count;
}

// --- Return stack ------------------------------------------------------------

void return_stack_grow() {
    if (static_cast<int32_t>(ReturnStack.capacity) < 0) {
        runtime_error(error_out_of_stack_space);
        return;
    }
    uint32_t capacity = ReturnStack.capacity ? ReturnStack.capacity * 2 : return_stack_initial_capacity;
    void* grown = nullptr;
    if (!FailNextAllocation) grown = std::realloc(ReturnStack.points, static_cast<size_t>(capacity) * sizeof(uint32_t));
    FailNextAllocation = false;
    if (!grown) {
        runtime_error(error_out_of_stack_space);
        return;
    }
    ReturnStack.points = static_cast<uint32_t*>(grown);
    ReturnStack.capacity = capacity;
}

void return_stack_push(uint32_t return_point) {
    if (ReturnStack.depth >= ReturnStack.capacity) {
        // Only after a grow that failed; the critical error ends the process.
        runtime_error(error_out_of_stack_space);
        return;
    }
    ReturnStack.points[ReturnStack.depth++] = return_point;
    if (ReturnStack.depth >= ReturnStack.capacity) return_stack_grow();
}

bool return_stack_pop(uint32_t& return_point) {
    if (ReturnStack.depth == 0) {
        runtime_error(error_return_without_gosub);
        return false;
    }
    return_point = ReturnStack.points[--ReturnStack.depth];
    return true;
}

uint32_t return_stack_depth() { return ReturnStack.depth; }

uint32_t return_stack_capacity() { return ReturnStack.capacity; }

void return_stack_clear() { ReturnStack.depth = 0; }
// NOLINTEND(cppcoreguidelines-no-malloc)
