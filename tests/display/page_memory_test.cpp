// Page-memory helpers against the plain library calls they stand for, at every
// alignment of head and tail and with overlapping copies both ways.
#include "runtime/display/page_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t lengths[] = {0, 1, 3, 7, 8, 9, 15, 16, 17, 31, 64, 100};

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 37 + 11);
    return v;
}

TEST(PageMemory, WriteMatchesMemmoveAtEveryAlignmentAndOverlap) {
    for (size_t dst = 0; dst < 16; ++dst)
        for (size_t src = 0; src < 16; ++src)
            for (size_t n : lengths) {
                std::vector<uint8_t> want = pattern(160), got = pattern(160);
                std::memmove(want.data() + dst, want.data() + src, n);
                page_write(got.data() + dst, got.data() + src, n);
                ASSERT_EQ(got, want) << "dst " << dst << " src " << src << " n " << n;
            }
}

template <class T>
void check_fill(T value) {
    for (size_t offset = 0; offset < 16; offset += sizeof(T))
        for (size_t count = 0; count < 40; ++count) {
            std::vector<uint8_t> want = pattern(200), got = pattern(200);
            for (size_t i = 0; i < count; ++i) std::memcpy(want.data() + offset + i * sizeof(T), &value, sizeof(T));
            page_fill<T>(got.data() + offset, value, count);
            ASSERT_EQ(got, want) << sizeof(T) << "-byte fill at " << offset << ", " << count;
        }
}

TEST(PageMemory, FillsStoreEveryCopyAndNothingBeyond) {
    check_fill<uint8_t>(0xA5);
    check_fill<uint16_t>(0x0720);
    check_fill<uint32_t>(0xFF123456u);
}

TEST(PageMemory, ReadEqualAndSyncSeeADifferenceAnywhere) {
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t n : lengths) {
            std::vector<uint8_t> page = pattern(n + 8);
            const uint8_t* live = page.data() + offset;
            std::vector<uint8_t> copy(n);
            page_read(copy.data(), live, n);
            ASSERT_TRUE(std::equal(copy.begin(), copy.end(), live));
            ASSERT_TRUE(page_equal(live, copy.data(), n));
            ASSERT_FALSE(page_sync(copy.data(), live, n));
            for (size_t at = 0; at < n; ++at) {
                page[offset + at] ^= 0x40;
                ASSERT_FALSE(page_equal(live, copy.data(), n)) << offset << " " << n << " " << at;
                ASSERT_TRUE(page_sync(copy.data(), live, n)) << offset << " " << n << " " << at;
                ASSERT_TRUE(std::equal(copy.begin(), copy.end(), live));
            }
        }
}

}  // namespace
