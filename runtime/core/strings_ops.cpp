// The string operations of compiled code: making, assigning, joining, freeing,
// comparing and cutting strings, and releasing a statement's temporaries.
#include <cstring>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/strings_internal.h"

using namespace strings_detail;

namespace {

constexpr uint8_t space_char = ' ';

// The storage part of str_free: the list entry and the buffer's used end.
void release_storage(StrDesc* s) {
    if (!owns_storage(s)) return;
    if (s->in_low_segment)
        low_string_release(s);
    else
        heap_string_release(s);
}

// str_free of a temporary (never one of the built-in permanent strings).
void release_if_temp(StrDesc* s) {
    if (!s->is_temporary) return;
    temp_unregister(s);
    release_storage(s);
    desc_free(s);
}

// The neutral result of an operation on a bad argument.
StrDesc* empty_temp() { return str_from_literal("", 0); }

StrDesc* bad_argument() {
    runtime_error(error_illegal_function_call);
    return empty_temp();
}

// A new temporary holding bytes [from, from + n) of s; s is consumed.
StrDesc* copy_part(StrDesc* s, uint32_t from, uint32_t n) {
    StrDesc* r = str_new(n, 1);  // may compact the heap: read s->data after it
    if (n) std::memcpy(r->data, s->data + from, n);
    release_if_temp(s);
    return r;
}

// s cut to [from, from + n): s itself, s changed in place, or a new temporary.
StrDesc* cut(StrDesc* s, uint32_t from, uint32_t n) {
    if (from == 0 && n == s->length) return s;
    if (is_temp_heap(s)) {
        s->data += from;
        s->length = n;
        return s;
    }
    return copy_part(s, from, n);
}

void assign_fixed(StrDesc* dest, const StrDesc* src) {
    uint32_t n = src->length < dest->length ? src->length : dest->length;
    if (n) std::memmove(dest->data, src->data, n);
    if (dest->length > n) std::memset(dest->data + n, space_char, dest->length - n);
}

// dest takes a temporary's characters, list entry and index without a copy.
void adopt(StrDesc* dest, StrDesc* src) {
    RefList& list = dest->in_low_segment ? LowStringList : HeapStringList;
    uint32_t old_index = dest->list_index;
    if (old_index < list.count && list.entries[old_index] == dest) list.entries[old_index] = hole;
    list.entries[src->list_index] = dest;
    dest->list_index = src->list_index;
    if (!dest->in_low_segment) list_trim_holes(list);
    uint32_t temp_index = src->temp_index;
    if (temp_index < TempList.count && TempList.entries[temp_index] == src) {
        TempList.entries[temp_index] = hole;
        if (temp_index + 1 == TempList.count) --TempList.count;
    }
    dest->data = src->data;
    dest->length = src->length;
    desc_free(src);
}

bool adoptable(const StrDesc* dest, const StrDesc* src) {
    return src->is_temporary && owns_storage(src) && src->in_low_segment == dest->in_low_segment;
}

// A temporary that is the last heap string takes b's characters after its own
// when the heap holds them: the result a new string would be, without a copy of a.
bool append_in_place(StrDesc* a, StrDesc* b) {
    const RefList& list = HeapStringList;
    if (a == b || !is_temp_heap(a) || !list.count || list.entries[list.count - 1] != a) return false;
    uint64_t end = heap_offset(a->data) + a->length + b->length;
    if (end > StringHeap.size) return false;
    // b lies before a or outside the heap, never in the space a grows into.
    std::memcpy(a->data + a->length, b->data, b->length);
    a->length += b->length;
    if (end > StringHeap.used) StringHeap.used = end;
    release_if_temp(b);
    return true;
}

// A temporary b that is the last heap string takes a's characters before its
// own (moving its own up) when the heap holds both.
bool prepend_in_place(StrDesc* a, StrDesc* b) {
    const RefList& list = HeapStringList;
    if (a == b || !is_temp_heap(b) || !list.count || list.entries[list.count - 1] != b) return false;
    uint64_t end = heap_offset(b->data) + a->length + b->length;
    if (end > StringHeap.size) return false;
    std::memmove(b->data + a->length, b->data, b->length);
    // a lies before b or outside the heap, never in the space b moves into.
    std::memcpy(b->data, a->data, a->length);
    b->length += a->length;
    if (end > StringHeap.used) StringHeap.used = end;
    release_if_temp(a);
    return true;
}

bool is_lower(uint8_t c) { return c >= 'a' && c <= 'z'; }

}  // namespace

StrDesc* str_new(uint32_t length, int32_t temporary) {
    StrDesc* s = heap_string_new(length);
    if (temporary) temp_register(s);
    return s;
}

StrDesc* str_new_low(uint32_t length, int32_t temporary) {
    StrDesc* s = low_string_new(length, !temporary);
    if (temporary) temp_register(s);
    return s;
}

// True when [p, p + length) lies in the string heap or the low string segment,
// whose contents move when a new string makes room.
static bool inside_string_stores(const void* p, uint32_t length) {
    auto* b = static_cast<const uint8_t*>(p);
    auto within = [&](const uint8_t* base, uint64_t size) { return base && b + length > base && b < base + size; };
    return within(StringHeap.base, StringHeap.size) || within(low_segment_base(), low_string_segment_size);
}

StrDesc* str_from_literal(const char* text, uint32_t length) {
    if (!text && length) return bad_argument();
    // Bytes of another runtime string are no literal: they move with it.
    if (length && inside_string_stores(text, length)) return str_from_bytes(text, length);
    StrDesc* s = desc_alloc();
    s->data = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
    s->length = length;
    s->is_readonly = 1;
    temp_register(s);
    return s;
}

StrDesc* str_from_cstring(const char* text) {
    return str_from_literal(text, text ? static_cast<uint32_t>(std::strlen(text)) : 0);
}

StrDesc* str_from_bytes(const void* bytes, uint32_t length) {
    if (!bytes && length) return bad_argument();
    if (length && inside_string_stores(bytes, length)) {
        // Making the new string may compact or move the store the bytes are
        // in, so they are taken out of its way first.
        std::vector<uint8_t> copy(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length);
        StrDesc* s = str_new(length, 1);
        std::memcpy(s->data, copy.data(), length);
        return s;
    }
    StrDesc* s = str_new(length, 1);
    if (length) std::memcpy(s->data, bytes, length);
    return s;
}

StrDesc* str_new_fixed(uint8_t* storage, uint32_t length) {
    if (!storage && length) {
        runtime_error(error_illegal_function_call);
        storage = nullptr;
        length = 0;
    }
    StrDesc* s = desc_alloc();
    s->data = storage;
    s->length = length;
    s->is_fixed = 1;
    return s;
}

StrDesc* str_assign(StrDesc* dest, StrDesc* src) {
    if (!dest || !src || dest->is_readonly) {
        runtime_error(error_illegal_function_call);
        if (src && src != dest) release_if_temp(src);
        return dest;
    }
    if (dest == src) return dest;
    if (dest->is_fixed) {
        assign_fixed(dest, src);
    } else if (adoptable(dest, src)) {
        adopt(dest, src);
        low_slot_write(dest);
        return dest;
    } else if (src->length <= dest->length) {
        if (src->length) std::memmove(dest->data, src->data, src->length);
        dest->length = src->length;
    } else if (dest->in_low_segment) {
        low_assign_longer(dest, src);
    } else {
        heap_assign_longer(dest, src);
    }
    release_if_temp(src);
    low_slot_write(dest);
    return dest;
}

StrDesc* str_concat(StrDesc* a, StrDesc* b) {
    if (!a || !b) return bad_argument();
    if (b->length == 0) return a;
    if (a->length == 0) return b;
    uint32_t la = a->length, lb = b->length;
    if (uint64_t{la} + lb > UINT32_MAX) {
        runtime_error(error_out_of_string_space);
        return a;
    }
    if (append_in_place(a, b)) return a;
    if (prepend_in_place(a, b)) return b;
    StrDesc* r = str_new(la + lb, 1);  // may compact the heap: read a, b after it
    std::memcpy(r->data, a->data, la);
    std::memcpy(r->data + la, b->data, lb);
    release_if_temp(a);
    if (b != a) release_if_temp(b);
    return r;
}

void str_free(StrDesc* s) {
    if (!s) return;
    if (s->is_temporary) {
        release_if_temp(s);
        return;
    }
    if (strings_is_builtin(s)) return;
    release_storage(s);
    desc_free(s);
}

void str_consume(StrDesc* s) {
    if (s) release_if_temp(s);
}

int32_t str_release_temps(uint32_t mark, int32_t value) {
    strings_ensure_started();
    if (mark < 1) mark = 1;
    // The count is lowered before each release, so a release never sees its
    // own entry; releases do not touch TempList otherwise.
    while (TempList.count > mark) {
        uint32_t count = TempList.count - 1;
        StrDesc* s = TempList.entries[count];
        TempList.count = count;
        if (s == hole) continue;
        s->is_temporary = 0;
        s->temp_index = 0;
        release_storage(s);
        desc_free(s);
    }
    return value;
}

int32_t str_equal(const StrDesc* a, const StrDesc* b) {
    if (!a || !b) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    if (a->length != b->length) return 0;
    if (a->length == 0 || a->data == b->data) return -1;
    return std::memcmp(a->data, b->data, a->length) == 0 ? -1 : 0;
}

int32_t str_not_equal(const StrDesc* a, const StrDesc* b) {
    if (!a || !b) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    return str_equal(a, b) ? 0 : -1;
}

StrDesc* str_chr(int32_t code) {
    if (code < 0 || code > 255) return bad_argument();
    StrDesc* s = str_new(1, 1);
    s->data[0] = static_cast<uint8_t>(code);
    return s;
}

StrDesc* str_upper(StrDesc* s) {
    if (!s) return bad_argument();
    uint32_t first = 0;
    while (first < s->length && !is_lower(s->data[first])) ++first;
    if (first == s->length) return s;
    StrDesc* r = s;
    if (!is_temp_heap(s)) {
        r = str_new(s->length, 1);
        std::memcpy(r->data, s->data, s->length);
        release_if_temp(s);
    }
    for (uint32_t i = first; i < r->length; ++i)
        if (is_lower(r->data[i])) r->data[i] = static_cast<uint8_t>(r->data[i] - 'a' + 'A');
    return r;
}

StrDesc* str_right(StrDesc* s, int32_t n) {
    if (!s) return bad_argument();
    uint32_t count = n < 0 ? 0 : static_cast<uint32_t>(n);
    if (count > s->length) count = s->length;
    return cut(s, s->length - count, count);
}

StrDesc* str_mid(StrDesc* s, int32_t start, int32_t length, int32_t length_given) {
    if (!s) return bad_argument();
    int64_t len = s->length, first = start, count;
    if (length_given) {
        count = length;
        if (first < 1) {
            count -= 1 - first;
            first = 1;
        }
        if (count <= 0 || first > len)
            first = 1, count = 0;
        else if (first + count - 1 > len)
            count = len - first + 1;
    } else {
        if (first < 1) first = 1;
        if (first > len)
            first = 1, count = 0;
        else
            count = len - first + 1;
    }
    return cut(s, static_cast<uint32_t>(first - 1), static_cast<uint32_t>(count));
}

StrDesc* str_ltrim(StrDesc* s) {
    if (!s) return bad_argument();
    uint32_t k = 0;
    while (k < s->length && s->data[k] == space_char) ++k;
    return cut(s, k, s->length - k);
}
