// The two compacting character buffers: StringHeap (grows, 32 spare bytes after
// each new string) and LowStringSegment (fixed, with length slots at its top).
#include <cstring>
#include "runtime/core/strings_internal.h"

namespace strings_detail {

namespace {

uint32_t low_offset(const uint8_t* p) { return static_cast<uint32_t>(p - low_segment_base()); }

void heap_grow(uint64_t extra) {
    uint64_t size = StringHeap.size * 2 + extra;
    uintptr_t old_base = reinterpret_cast<uintptr_t>(StringHeap.base);
    void* base = store_realloc(StringHeap.base, size);
    if (!base) strings_critical(error_out_of_memory_12);
    StringHeap.base = static_cast<uint8_t*>(base);
    StringHeap.size = size;
    ++StringCounters.heap_growths;
    uintptr_t new_base = reinterpret_cast<uintptr_t>(base);
    if (new_base == old_base) return;
    for (uint32_t i = 0; i < HeapStringList.count; ++i) {
        StrDesc* s = HeapStringList.entries[i];
        if (s == hole) continue;
        s->data = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(s->data) - old_base + new_base);
    }
}

// The next live entry after `index`, passing over `skip`; null when none.
StrDesc* next_live(const RefList& list, uint32_t index, const StrDesc* skip) {
    for (uint32_t i = index + 1; i < list.count; ++i) {
        StrDesc* s = list.entries[i];
        if (s != hole && s != skip) return s;
    }
    return nullptr;
}

void low_slot_take(StrDesc* s) {
    LowSegmentStore& seg = LowStringSegment;
    uint32_t offset;
    if (seg.free_slot_count) {
        offset = seg.free_slots[--seg.free_slot_count];
    } else {
        if (seg.slot_top < seg.used + low_slot_bytes) strings_critical(error_out_of_memory_14);
        seg.slot_top -= low_slot_bytes;
        offset = seg.slot_top;
    }
    s->length_slot_offset = static_cast<uint16_t>(offset);
    s->length_slot = reinterpret_cast<uint16_t*>(low_segment_base() + offset);
    low_slot_write(s);
}

void low_slot_release(StrDesc* s) {
    LowSegmentStore& seg = LowStringSegment;
    uint32_t offset = s->length_slot_offset;
    std::memset(low_segment_base() + offset, 0, low_slot_bytes);
    if (offset == seg.slot_top)
        seg.slot_top += low_slot_bytes;
    else
        seg.free_slots[seg.free_slot_count++] = static_cast<uint16_t>(offset);
    s->length_slot = nullptr;
    s->length_slot_offset = 0;
}

}  // namespace

void compact_heap(uint64_t extra) {
    ++StringCounters.heap_compactions;
    RefList& list = HeapStringList;
    uint8_t* cursor = StringHeap.base;
    uint32_t kept = 0;
    // The walk also drops the list's holes, so the next walk and the list's
    // growth see only live strings.
    for (uint32_t i = 0; i < list.count; ++i) {
        StrDesc* s = list.entries[i];
        if (s == hole) continue;
        // Gaps of up to 32 bytes stay: they are the room a string grows into.
        if (s->data > cursor + heap_spare_bytes) {
            std::memmove(cursor, s->data, s->length);
            s->data = cursor;
        }
        cursor = s->data + s->length;
        s->list_index = kept;
        list.entries[kept++] = s;
    }
    list.count = kept;
    StringHeap.used = heap_offset(cursor);
    if (StringHeap.used * 2 + extra + heap_spare_bytes >= StringHeap.size) heap_grow(extra);
}

void heap_assign_longer(StrDesc* dest, const StrDesc* src) {
    RefList& list = HeapStringList;
    uint32_t n = src->length;
    uint32_t index = dest->list_index;
    const StrDesc* skip = src->is_temporary ? src : nullptr;
    StrDesc* next = next_live(list, index, skip);
    uint64_t new_end = heap_offset(dest->data) + n;
    if (!next && new_end <= StringHeap.size) {
        // The last string grows into the free end of the heap.
        list.count = index + 1;
        std::memmove(dest->data, src->data, n);
        dest->length = n;
        StringHeap.used = new_end;
        return;
    }
    if (next && dest->data + n <= next->data) {
        std::memmove(dest->data, src->data, n);
        dest->length = n;
        return;
    }
    list.entries[index] = hole;
    if (StringHeap.used + n > StringHeap.size) compact_heap(n);
    dest->data = StringHeap.base + StringHeap.used;
    StringHeap.used += n;
    std::memcpy(dest->data, src->data, n);
    dest->length = n;
    list_append(list, dest, error_out_of_memory_10);
}

StrDesc* low_string_new(uint32_t length, bool permanent) {
    StrDesc* s = desc_alloc();
    LowSegmentStore& seg = LowStringSegment;
    bool new_slot = permanent && seg.free_slot_count == 0;
    uint32_t need = length + (new_slot ? low_slot_bytes : 0);
    // Compaction makes room for the slot too, but only the characters not
    // fitting is 513; characters that fit without their slot are 514.
    if (uint64_t{seg.used} + need > seg.slot_top) compact_low(length);
    s->data = low_segment_base() + seg.used;
    s->length = length;
    s->in_low_segment = 1;
    seg.used += length;
    list_append(LowStringList, s, error_out_of_memory_9);
    if (permanent) low_slot_take(s);
    return s;
}

void low_string_release(StrDesc* s) {
    RefList& list = LowStringList;
    uint32_t index = s->list_index;
    if (index < list.count && list.entries[index] == s) {
        list.entries[index] = hole;
        if (index + 1 == list.count) --list.count;
    }
    if (s->length_slot) low_slot_release(s);
}

void low_slot_write(StrDesc* s) {
    if (!s->length_slot) return;
    uint16_t words[2] = {static_cast<uint16_t>(s->length), static_cast<uint16_t>(low_offset(s->data))};
    std::memcpy(s->length_slot, words, sizeof words);
}

void compact_low(uint32_t extra) {
    ++StringCounters.low_compactions;
    LowSegmentStore& seg = LowStringSegment;
    uint8_t* base = low_segment_base();
    seg.used = low_string_first_offset;
    for (uint32_t i = 0; i < LowStringList.count; ++i) {
        StrDesc* s = LowStringList.entries[i];
        if (s == hole) continue;
        if (s->data != base + seg.used) {
            std::memmove(base + seg.used, s->data, s->length);
            s->data = base + seg.used;
            low_slot_write(s);
        }
        seg.used += s->length;
    }
    if (uint64_t{seg.used} + extra > seg.slot_top) strings_critical(error_out_of_memory_13);
}

void low_assign_longer(StrDesc* dest, const StrDesc* src) {
    RefList& list = LowStringList;
    LowSegmentStore& seg = LowStringSegment;
    uint32_t n = src->length;
    uint32_t index = dest->list_index;
    const StrDesc* skip = src->is_temporary ? src : nullptr;
    StrDesc* next = next_live(list, index, skip);
    uint64_t new_end = uint64_t{low_offset(dest->data)} + n;
    if (!next && new_end <= seg.slot_top) {
        list.count = index + 1;
        std::memmove(dest->data, src->data, n);
        dest->length = n;
        seg.used = static_cast<uint32_t>(new_end);
        return;
    }
    if (next && dest->data + n <= next->data) {
        std::memmove(dest->data, src->data, n);
        dest->length = n;
        return;
    }
    list.entries[index] = hole;
    if (uint64_t{seg.used} + n > seg.slot_top) compact_low(n);
    dest->data = low_segment_base() + seg.used;
    seg.used += n;
    std::memcpy(dest->data, src->data, n);
    dest->length = n;
    list_append(list, dest, error_out_of_memory_9);
}

}  // namespace strings_detail
