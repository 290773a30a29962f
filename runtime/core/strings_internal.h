// The string system's stores, shared by strings.cpp (descriptors, lists,
// temporaries, start-up), strings_buffers.cpp (heap and low segment) and
// strings_ops.cpp (the operations). Not for use outside these files.
#pragma once
#include <cstdint>
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"

// --- For the rest of the runtime and the tests ---
// LowStringSegment: 64 KB of LowMemoryImage from 0x500. Strings grow up from
// segment offset 0x100; length slots grow down from just below EmptyArrayBlock,
// the 8 zero bytes at the segment's top that erased arrays point at.
constexpr uint32_t low_string_segment_size = 0x10000;
constexpr uint32_t low_string_first_offset = 0x100;
constexpr uint32_t empty_array_block_size = 8;
constexpr uint32_t empty_array_block_offset = low_string_segment + low_string_segment_size -
    empty_array_block_size;  // in LowMemoryImage

// Start-up: makes the descriptor block, the heap, the lists, clears the low
// segment's string area and slots, and makes line_end_string and space_string.
// Call after low_memory_clear(). Shutdown releases everything; reset = both.
void strings_startup();
void strings_shutdown();
void strings_reset();

// The zero block erased arrays point at (inside LowMemoryImage).
inline uint8_t* empty_array_block() { return low_memory() + empty_array_block_offset; }

// --- Inspection (tests and benchmarks) ---
struct StringStats {
    uint64_t heap_size, heap_used;
    uint32_t heap_list_count, heap_list_capacity;
    uint32_t low_used, low_slot_top;  // segment offsets
    uint32_t low_list_count, low_list_capacity;
    uint32_t temp_count, temp_capacity;
    uint32_t free_descriptors, free_stack_capacity;
    uint32_t descriptor_blocks;
    uint32_t heap_compactions, heap_growths, low_compactions;
    uint64_t system_allocations;  // general allocations so far
};
StringStats strings_stats();
// Makes the next growth of a store fail (tests of the critical errors).
void strings_fail_next_growth();

namespace strings_detail {

constexpr uint32_t descriptors_per_block = 65536;
constexpr uint32_t free_stack_start = 65536;
constexpr uint32_t list_start_capacity = 65535;  // a list holds capacity + 1 entries
constexpr uint64_t heap_start_size = 1048576;
constexpr uint32_t heap_spare_bytes = 32;
constexpr uint32_t low_slot_bytes = 4;
constexpr uint32_t low_slot_start = low_string_segment_size - empty_array_block_size;
constexpr uint32_t low_max_slots = low_string_segment_size / low_slot_bytes;

// -1 marks a hole in HeapStringList, LowStringList and TempList.
inline StrDesc* const hole = reinterpret_cast<StrDesc*>(~uintptr_t{0});

// HeapStringList, LowStringList and TempList share this shape.
struct RefList {
    StrDesc** entries;
    uint32_t count;
    uint32_t capacity;
};

struct StringHeapStore {
    uint8_t* base;
    uint64_t size;
    uint64_t used;  // offset of the used end
};

struct LowSegmentStore {
    uint32_t used;  // segment offset of the used end
    uint32_t slot_top;  // segment offset of the lowest length slot taken
    uint32_t free_slot_count;
    uint16_t free_slots[low_max_slots];  // slots of freed strings, reused first
};

extern RefList HeapStringList;
extern RefList LowStringList;
extern RefList TempList;
extern StringHeapStore StringHeap;
extern LowSegmentStore LowStringSegment;

struct Counters {
    uint32_t heap_compactions, heap_growths, low_compactions;
    uint64_t system_allocations;
};
extern Counters StringCounters;

inline uint8_t* low_segment_base() { return low_memory() + low_string_segment; }

struct DescriptorBlock;  // strings.cpp

struct DescriptorStore {
    DescriptorBlock* current;
    uint32_t next_unused;
    uint32_t block_count;
    StrDesc** free_stack;  // FreeDescriptorStack
    uint32_t free_count;
    uint32_t free_capacity;
};
extern DescriptorStore Descriptors;

// strings.cpp (the slow paths of the inline functions below)
void strings_ensure_started();
// line_end_string and space_string, which str_free leaves alone.
bool strings_is_builtin(const StrDesc* s);
[[noreturn]] void strings_critical(int32_t n);
// General allocation for the stores (counted; can be told to fail once).
void* store_realloc(void* p, uint64_t bytes);
StrDesc* desc_alloc_unused();
void desc_stack_grow();
void list_make_room(RefList& list, int32_t critical);
void temp_list_grow();

// The hot paths are inline: a statement makes and drops several strings.
inline StrDesc* desc_alloc() {
    uint32_t count = Descriptors.free_count;
    if (!count) return desc_alloc_unused();
    StrDesc* s = Descriptors.free_stack[count - 1];
    Descriptors.free_count = count - 1;
    *s = StrDesc{};
    return s;
}

inline void desc_free(StrDesc* s) {
    uint32_t count = Descriptors.free_count;
    if (count == Descriptors.free_capacity) desc_stack_grow();
    Descriptors.free_stack[count] = s;
    Descriptors.free_count = count + 1;
}

inline void list_append(RefList& list, StrDesc* s, int32_t critical) {
    if (list.count > list.capacity) list_make_room(list, critical);
    uint32_t count = list.count;
    s->list_index = count;
    list.entries[count] = s;
    list.count = count + 1;
}

inline void list_trim_holes(RefList& list) {
    uint32_t count = list.count;
    StrDesc* const* entries = list.entries;
    while (count && entries[count - 1] == hole) --count;
    list.count = count;
}

inline void temp_register(StrDesc* s) {
    if (TempList.count > TempList.capacity) temp_list_grow();
    uint32_t count = TempList.count;
    s->is_temporary = 1;
    s->temp_index = count;
    TempList.entries[count] = s;
    TempList.count = count + 1;
}

inline void temp_unregister(StrDesc* s) {
    uint32_t index = s->temp_index;
    uint32_t count = TempList.count;
    StrDesc** entries = TempList.entries;
    if (index && index < count && entries[index] == s) {
        entries[index] = hole;
        while (count > 1 && entries[count - 1] == hole) --count;
        TempList.count = count;
    }
    s->is_temporary = 0;
    s->temp_index = 0;
}

inline uint64_t heap_offset(const uint8_t* p) { return static_cast<uint64_t>(p - StringHeap.base); }

// strings_buffers.cpp
void compact_heap(uint64_t extra);
StrDesc* low_string_new(uint32_t length, bool permanent);
void low_string_release(StrDesc* s);
void compact_low(uint32_t extra);
void low_slot_write(StrDesc* s);
// str_assign's longer copy into a heap or low destination.
void heap_assign_longer(StrDesc* dest, const StrDesc* src);
void low_assign_longer(StrDesc* dest, const StrDesc* src);

inline StrDesc* heap_string_new(uint32_t length) {
    StrDesc* s = desc_alloc();
    uint64_t need = uint64_t{length} + heap_spare_bytes;
    if (StringHeap.used + need > StringHeap.size) compact_heap(need);
    s->data = StringHeap.base + StringHeap.used;
    s->length = length;
    StringHeap.used += need;
    list_append(HeapStringList, s, error_out_of_memory_10);
    return s;
}

// The heap part of str_free: a hole in the list, trailing holes dropped, and
// the used end back to the end of the last live string plus its spare bytes.
inline void heap_string_release(StrDesc* s) {
    RefList& list = HeapStringList;
    if (s->list_index < list.count && list.entries[s->list_index] == s) list.entries[s->list_index] = hole;
    list_trim_holes(list);
    if (!list.count) {
        StringHeap.used = 0;
        return;
    }
    const StrDesc* last = list.entries[list.count - 1];
    uint64_t end = heap_offset(last->data) + last->length + heap_spare_bytes;
    StringHeap.used = end < StringHeap.size ? end : StringHeap.size;
}

inline bool is_temp_heap(const StrDesc* s) {
    return s->is_temporary && !s->is_fixed && !s->is_readonly && !s->in_low_segment;
}
inline bool owns_storage(const StrDesc* s) { return !s->is_fixed && !s->is_readonly; }

}  // namespace strings_detail
