// Access to screen-page memory (cells, pixels, palettes), which the program
// thread writes while the event thread draws it: every store into a page and
// every read the refresh makes of one is a relaxed atomic access, word-sized
// wherever the addresses allow, so the two threads never race and a row costs
// what a plain copy costs (relaxed loads and stores are plain moves on x86-64).
//
// The program thread is the only writer of page memory, so its own loads (the
// source of a page copy or a scroll) need no atomics; the helpers that read
// for the event thread are page_load*, page_read, page_equal and page_sync.
#pragma once
#include <cstddef>
#include <cstdint>

// Page memory is byte arrays seen through wider words; these may alias them.
using PageWord16 = uint16_t __attribute__((may_alias));
using PageWord32 = uint32_t __attribute__((may_alias));
using PageWord64 = uint64_t __attribute__((may_alias));

namespace page_memory_detail {
inline bool aligned(const void* p, size_t bytes) { return (reinterpret_cast<uintptr_t>(p) & (bytes - 1)) == 0; }
inline uint64_t plain_load64(const uint8_t* p) {
    uint64_t w;
    __builtin_memcpy(&w, p, 8);
    return w;
}
inline void plain_store64(uint8_t* p, uint64_t w) { __builtin_memcpy(p, &w, 8); }
}  // namespace page_memory_detail

// --- Single values (16-bit and 32-bit addresses aligned to their size) -------

inline uint8_t page_load8(const uint8_t* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }
inline uint32_t page_load32(const void* p) {
    return __atomic_load_n(static_cast<const PageWord32*>(p), __ATOMIC_RELAXED);
}
inline uint64_t page_load64(const void* p) {
    return __atomic_load_n(static_cast<const PageWord64*>(p), __ATOMIC_RELAXED);
}
inline void page_store8(uint8_t* p, uint8_t v) { __atomic_store_n(p, v, __ATOMIC_RELAXED); }
inline void page_store16(void* p, uint16_t v) { __atomic_store_n(static_cast<PageWord16*>(p), v, __ATOMIC_RELAXED); }
inline void page_store32(void* p, uint32_t v) { __atomic_store_n(static_cast<PageWord32*>(p), v, __ATOMIC_RELAXED); }
inline void page_store64(void* p, uint64_t v) { __atomic_store_n(static_cast<PageWord64*>(p), v, __ATOMIC_RELAXED); }

// --- Fills (program thread) ---------------------------------------------------

// `count` copies of a value of 1, 2 or 4 bytes (a 2- or 4-byte fill starts at an
// address aligned to its size); the aligned middle goes in 64-bit words.
template <class T>
inline void page_fill(void* page, T value, size_t count) {
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4);
    auto* p = static_cast<uint8_t*>(page);
    auto store_one = [](uint8_t* at, T v) {
        if constexpr (sizeof(T) == 1)
            page_store8(at, v);
        else if constexpr (sizeof(T) == 2)
            page_store16(at, v);
        else
            page_store32(at, v);
    };
    for (; count && !page_memory_detail::aligned(p, 8); --count, p += sizeof(T)) store_one(p, value);
    uint64_t word = 0;
    for (size_t i = 0; i < 8 / sizeof(T); ++i) word |= uint64_t{value} << (8 * sizeof(T) * i);
    constexpr size_t per_word = 8 / sizeof(T);
    for (; count >= per_word; count -= per_word, p += 8) page_store64(p, word);
    for (; count; --count, p += sizeof(T)) store_one(p, value);
}
inline void page_fill8(void* page, uint8_t value, size_t count) { page_fill<uint8_t>(page, value, count); }
inline void page_fill16(void* page, uint16_t value, size_t count) { page_fill<uint16_t>(page, value, count); }
inline void page_fill32(void* page, uint32_t value, size_t count) { page_fill<uint32_t>(page, value, count); }

// --- Copies -------------------------------------------------------------------

// Program thread: `bytes` from `source` (any memory, page memory included, and
// overlapping as memmove allows) into page memory.
inline void page_write(void* page, const void* source, size_t bytes) {
    using namespace page_memory_detail;
    auto* d = static_cast<uint8_t*>(page);
    const auto* s = static_cast<const uint8_t*>(source);
    if (d == s || bytes == 0) return;
    if (d < s || d >= s + bytes) {
        for (; bytes && !aligned(d, 8); --bytes) page_store8(d++, *s++);
        for (; bytes >= 8; bytes -= 8, d += 8, s += 8) page_store64(d, plain_load64(s));
        for (; bytes; --bytes) page_store8(d++, *s++);
        return;
    }
    // The destination overlaps the source from above: copy from the end.
    d += bytes;
    s += bytes;
    for (; bytes && !aligned(d, 8); --bytes) page_store8(--d, *--s);
    for (; bytes >= 8; bytes -= 8) {
        d -= 8;
        s -= 8;
        page_store64(d, plain_load64(s));
    }
    for (; bytes; --bytes) page_store8(--d, *--s);
}

// Event thread: `bytes` of page memory into the reader's own memory.
inline void page_read(void* copy, const void* page, size_t bytes) {
    using namespace page_memory_detail;
    auto* d = static_cast<uint8_t*>(copy);
    const auto* s = static_cast<const uint8_t*>(page);
    for (; bytes && !aligned(s, 8); --bytes) *d++ = page_load8(s++);
    for (; bytes >= 8; bytes -= 8, d += 8, s += 8) plain_store64(d, page_load64(s));
    for (; bytes; --bytes) *d++ = page_load8(s++);
}

// Event thread: whether `bytes` of page memory equal the reader's `copy`.
inline bool page_equal(const void* page, const void* copy, size_t bytes) {
    using namespace page_memory_detail;
    const auto* s = static_cast<const uint8_t*>(page);
    const auto* c = static_cast<const uint8_t*>(copy);
    for (; bytes && !aligned(s, 8); --bytes)
        if (page_load8(s++) != *c++) return false;
    for (; bytes >= 8; bytes -= 8, s += 8, c += 8)
        if (page_load64(s) != plain_load64(c)) return false;
    for (; bytes; --bytes)
        if (page_load8(s++) != *c++) return false;
    return true;
}

// Event thread: brings the reader's `copy` up to date with `bytes` of page
// memory; true when anything differed. An unchanged span costs one pass of
// word comparisons and no stores.
inline bool page_sync(void* copy, const void* page, size_t bytes) {
    using namespace page_memory_detail;
    auto* d = static_cast<uint8_t*>(copy);
    const auto* s = static_cast<const uint8_t*>(page);
    bool changed = false;
    for (; bytes && !aligned(s, 8); --bytes, ++d, ++s) {
        uint8_t v = page_load8(s);
        if (v != *d) {
            *d = v;
            changed = true;
        }
    }
    for (; bytes >= 8; bytes -= 8, d += 8, s += 8) {
        uint64_t v = page_load64(s);
        if (v != plain_load64(d)) {
            plain_store64(d, v);
            changed = true;
        }
    }
    for (; bytes; --bytes, ++d, ++s) {
        uint8_t v = page_load8(s);
        if (v != *d) {
            *d = v;
            changed = true;
        }
    }
    return changed;
}

// --- Record fields ------------------------------------------------------------

// A field of an image record that the program thread changes while the refresh
// reads it (the text cursor): reads and writes are relaxed atomics, so it reads
// and assigns like the plain value it holds.
template <class T>
class PageField {
public:
    PageField() = default;
    PageField(T v) : value_(v) {}
    PageField(const PageField& other) : value_(other.load()) {}
    PageField& operator=(const PageField& other) { return *this = other.load(); }
    PageField& operator=(T v) {
        __atomic_store_n(&value_, v, __ATOMIC_RELAXED);
        return *this;
    }
    operator T() const { return load(); }
    T load() const { return __atomic_load_n(&value_, __ATOMIC_RELAXED); }

private:
    T value_;
};
