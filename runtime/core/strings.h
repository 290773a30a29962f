// The string system: descriptors, the string heap, the low string segment, the
// temporaries of a statement and the string operations of compiled code.
#pragma once
#include <cstdint>
#include <string_view>
#include "runtime/core/lowmem.h"

// One record per string. Records are recycled, never returned to the system.
struct StrDesc {
    uint8_t* data;  // first character; no terminator follows
    uint32_t length;  // number of characters
    uint32_t list_index;  // position in HeapStringList or LowStringList
    uint32_t temp_index;  // position in TempList (never 0 while registered)
    uint16_t* length_slot;  // permanent low strings: {length, segment offset}
    uint16_t length_slot_offset;  // that slot's offset within LowStringSegment
    uint8_t in_low_segment;  // 1: characters are in LowStringSegment
    uint8_t is_temporary;  // 1 while registered in TempList
    uint8_t is_fixed;  // fixed length over storage it does not own
    uint8_t is_readonly;  // borrowed characters (literal or C text)
    void* field_link;  // file record-field binding; null here
};

// --- Making strings (a temporary flag of non-zero registers it in TempList) ---
StrDesc* str_new(uint32_t length, int32_t temporary);  // heap, contents undefined
StrDesc* str_new_low(uint32_t length, int32_t temporary);  // low segment; permanent ones get a slot
// Temporary, read-only, no copy: the bytes must stay where they are while the
// string lives (a literal, a runtime table), never the bytes of another string.
StrDesc* str_from_literal(const char* text, uint32_t length);
StrDesc* str_from_cstring(const char* text);  // as above; null gives ""
// A temporary heap copy of the bytes (convenience for runtime services).
StrDesc* str_from_bytes(const void* bytes, uint32_t length);
// A permanent fixed-length string over storage the caller owns (e.g. a record
// field): assignment pads with spaces or truncates to `length`.
StrDesc* str_new_fixed(uint8_t* storage, uint32_t length);

// Temporary, read-only string over a C++ string literal.
template <uint32_t N>
inline StrDesc* str_lit(const char (&text)[N]) {
    return str_from_literal(text, N - 1);
}

// --- Operations. "consumed": released here when it is a temporary. ---
StrDesc* str_assign(StrDesc* dest, StrDesc* src);  // src consumed; returns dest
// a, b consumed. An empty operand gives the other one back (an empty b is not
// released); a temporary at the heap's end may be extended and returned itself.
StrDesc* str_concat(StrDesc* a, StrDesc* b);
void str_free(StrDesc* s);
// Releases s when it is a temporary (an operation done with its argument); a
// permanent string or null is left alone.
void str_consume(StrDesc* s);
// Releases every temporary registered at or above `mark`; returns `value`.
int32_t str_release_temps(uint32_t mark, int32_t value);
// The TempList count: the mark a routine saves when it starts.
uint32_t str_temp_count();
int32_t str_equal(const StrDesc* a, const StrDesc* b);  // -1 or 0; not consumed
int32_t str_not_equal(const StrDesc* a, const StrDesc* b);  // -1 or 0; not consumed
StrDesc* str_chr(int32_t code);  // 0-255; else "" and error 5
// The temporary shortcuts: these four return s itself when the result equals s,
// change a temporary heap string in place, and otherwise make a new temporary.
StrDesc* str_upper(StrDesc* s);  // a-z to A-Z
StrDesc* str_right(StrDesc* s, int32_t n);  // last n characters
StrDesc* str_mid(StrDesc* s, int32_t start, int32_t length, int32_t length_given);
StrDesc* str_ltrim(StrDesc* s);  // without leading spaces (32)

// The permanent low strings made at start-up: "" (ends a printed line) and " ".
StrDesc* line_end_string();
StrDesc* space_string();

// The characters of a string for C++ callers (empty view for null).
inline std::string_view str_view(const StrDesc* s) {
    if (!s || s->length == 0) return {};
    return {reinterpret_cast<const char*>(s->data), s->length};
}
