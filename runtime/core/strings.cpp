// The string system's stores: DescriptorBlock and FreeDescriptorStack, the three
// reference lists, start-up and shutdown, and the inspection used by tests.
#include "runtime/core/strings.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "runtime/core/errors.h"
#include "runtime/core/strings_internal.h"

// NOLINTBEGIN(cppcoreguidelines-no-malloc): the string system's stores takes memory from the C library
namespace strings_detail {

RefList HeapStringList{};
RefList LowStringList{};
RefList TempList{};
StringHeapStore StringHeap{};
LowSegmentStore LowStringSegment{};
Counters StringCounters{};
DescriptorStore Descriptors{};

// Blocks are chained so shutdown can return them; the program never does.
struct DescriptorBlock {
    DescriptorBlock* previous;
    StrDesc records[descriptors_per_block];
};

namespace {

StrDesc* LineEndString = nullptr;
StrDesc* SpaceString = nullptr;
bool FailNextGrowth = false;
bool Started = false;

void descriptor_block_new() {
    auto* block = static_cast<DescriptorBlock*>(store_realloc(nullptr, sizeof(DescriptorBlock)));
    if (!block) strings_critical(error_out_of_memory_8);
    std::memset(static_cast<void*>(block), 0, sizeof(DescriptorBlock));
    block->previous = Descriptors.current;
    Descriptors.current = block;
    Descriptors.next_unused = 0;
    ++Descriptors.block_count;
}

void list_init(RefList& list, uint32_t first_index, int32_t critical) {
    list.capacity = list_start_capacity;
    list.count = first_index;
    list.entries = static_cast<StrDesc**>(store_realloc(nullptr, (uint64_t{list.capacity} + 1) * sizeof(StrDesc*)));
    if (!list.entries) strings_critical(critical);
    if (first_index) list.entries[0] = hole;
}

void list_grow(RefList& list, int32_t critical) {
    uint64_t capacity = uint64_t{list.capacity} * 2;
    if (capacity >= UINT32_MAX) strings_critical(critical);
    void* entries = store_realloc(list.entries, (capacity + 1) * sizeof(StrDesc*));
    if (!entries) strings_critical(critical);
    list.entries = static_cast<StrDesc**>(entries);
    list.capacity = static_cast<uint32_t>(capacity);
}

// Removes the holes of a string list, keeping its order.
void list_remove_holes(RefList& list) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        StrDesc* s = list.entries[i];
        if (s == hole) continue;
        s->list_index = kept;
        list.entries[kept++] = s;
    }
    list.count = kept;
}

}  // namespace

void* store_realloc(void* p, uint64_t bytes) {
    if (FailNextGrowth) {
        FailNextGrowth = false;
        return nullptr;
    }
    if (bytes > SIZE_MAX) return nullptr;
    ++StringCounters.system_allocations;
    return std::realloc(p, static_cast<size_t>(bytes));
}

void strings_critical(int32_t n) {
    runtime_error(n);
    // runtime_error ends the process for critical numbers; should it come back,
    // the stores are past their limits and nothing can go on.
    std::fprintf(stderr, "Out of memory\nCritical Error #%d\n", n - 500);
    std::fflush(stderr);
    std::_Exit(0);
}

void strings_ensure_started() {
    if (!Started) strings_startup();
}

bool strings_is_builtin(const StrDesc* s) { return s == LineEndString || s == SpaceString; }

StrDesc* desc_alloc_unused() {
    if (!Started) strings_startup();
    if (Descriptors.free_count) return desc_alloc();
    if (Descriptors.next_unused == descriptors_per_block) descriptor_block_new();
    return &Descriptors.current->records[Descriptors.next_unused++];
}

void desc_stack_grow() {
    uint64_t capacity = uint64_t{Descriptors.free_capacity} * 2;
    void* stack = capacity < UINT32_MAX ? store_realloc(Descriptors.free_stack, capacity * sizeof(StrDesc*)) : nullptr;
    if (!stack) strings_critical(error_out_of_memory_8);
    Descriptors.free_stack = static_cast<StrDesc**>(stack);
    Descriptors.free_capacity = static_cast<uint32_t>(capacity);
}

void list_make_room(RefList& list, int32_t critical) {
    list_remove_holes(list);
    if (uint64_t{list.count} * 2 >= list.capacity) list_grow(list, critical);
}

void temp_list_grow() { list_grow(TempList, error_out_of_memory_11); }

}  // namespace strings_detail

using namespace strings_detail;

void strings_startup() {
    if (Started) return;
    Started = true;
    descriptor_block_new();
    Descriptors.free_capacity = free_stack_start;
    Descriptors.free_stack = static_cast<StrDesc**>(store_realloc(nullptr, free_stack_start * sizeof(StrDesc*)));
    if (!Descriptors.free_stack) strings_critical(error_out_of_memory_8);
    StringHeap.size = heap_start_size;
    StringHeap.used = 0;
    StringHeap.base = static_cast<uint8_t*>(store_realloc(nullptr, heap_start_size));
    if (!StringHeap.base) strings_critical(error_out_of_memory_12);
    list_init(HeapStringList, 0, error_out_of_memory_10);
    list_init(LowStringList, 0, error_out_of_memory_9);
    list_init(TempList, 1, error_out_of_memory_11);
    LowStringSegment.used = low_string_first_offset;
    LowStringSegment.slot_top = low_slot_start;
    LowStringSegment.free_slot_count = 0;
    std::memset(low_segment_base() + low_string_first_offset, 0, low_string_segment_size - low_string_first_offset);
    LineEndString = str_new_low(0, 0);
    SpaceString = str_new_low(1, 0);
    SpaceString->data[0] = ' ';
}

void strings_shutdown() {
    if (!Started) return;
    while (DescriptorBlock* block = Descriptors.current) {
        Descriptors.current = block->previous;
        std::free(block);
    }
    std::free(Descriptors.free_stack);
    std::free(StringHeap.base);
    std::free(HeapStringList.entries);
    std::free(LowStringList.entries);
    std::free(TempList.entries);
    Descriptors = DescriptorStore{};
    StringHeap = StringHeapStore{};
    HeapStringList = LowStringList = TempList = RefList{};
    LowStringSegment.used = LowStringSegment.slot_top = LowStringSegment.free_slot_count = 0;
    StringCounters = Counters{};
    LineEndString = SpaceString = nullptr;
    FailNextGrowth = false;
    Started = false;
}

void strings_reset() {
    strings_shutdown();
    strings_startup();
}

StrDesc* line_end_string() {
    strings_ensure_started();
    return LineEndString;
}

StrDesc* space_string() {
    strings_ensure_started();
    return SpaceString;
}

uint32_t str_temp_count() {
    strings_ensure_started();
    return TempList.count;
}

StringStats strings_stats() {
    strings_ensure_started();
    StringStats st{};
    st.heap_size = StringHeap.size;
    st.heap_used = StringHeap.used;
    st.heap_list_count = HeapStringList.count;
    st.heap_list_capacity = HeapStringList.capacity;
    st.low_used = LowStringSegment.used;
    st.low_slot_top = LowStringSegment.slot_top;
    st.low_list_count = LowStringList.count;
    st.low_list_capacity = LowStringList.capacity;
    st.temp_count = TempList.count;
    st.temp_capacity = TempList.capacity;
    st.free_descriptors = Descriptors.free_count;
    st.free_stack_capacity = Descriptors.free_capacity;
    st.descriptor_blocks = Descriptors.block_count;
    st.heap_compactions = StringCounters.heap_compactions;
    st.heap_growths = StringCounters.heap_growths;
    st.low_compactions = StringCounters.low_compactions;
    st.system_allocations = StringCounters.system_allocations;
    return st;
}

void strings_fail_next_growth() { FailNextGrowth = true; }
// NOLINTEND(cppcoreguidelines-no-malloc)
