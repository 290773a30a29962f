// Tests of the permanent pool, the low-memory blocks, arrays, the return stack
// and the restart reset.
#include <gtest/gtest.h>
#include <climits>
#include <cstring>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"

namespace {

class Memory : public ::testing::Test {
protected:
    void SetUp() override {
        flags_reset();
        low_memory_clear();
        memory_startup();
    }
    void TearDown() override { memory_shutdown(); }
};

uint32_t offset_of(const void* p) { return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - low_memory()); }

// Takes the pending error and clears it, as a "Yes" to the error box would.
int32_t take_error() {
    int32_t n = error_code.exchange(0);
    event_pending = 0;
    return n;
}

// --- Permanent pool ------------------------------------------------------------

TEST_F(Memory, PermAllocBumpsThroughZeroedAlignedMemory) {
    EXPECT_EQ(perm_pool_block_size(), 1048576u);
    auto* a = static_cast<uint8_t*>(perm_alloc(10));
    auto* b = static_cast<uint8_t*>(perm_alloc(3));
    auto* c = static_cast<uint8_t*>(perm_alloc(40));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(b, a + 16);  // 10 bytes, then the next 8-byte boundary
    EXPECT_EQ(c, b + 8);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(c[i], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % 8, 0u);
    EXPECT_EQ(perm_pool_block_size(), 1048576u);
}

TEST_F(Memory, PermAllocThatExactlyFillsTheBlockMovesToANewOne) {
    ASSERT_EQ(perm_pool_bytes_left(), 1048576u);
    auto* first = static_cast<uint8_t*>(perm_alloc(104));
    uint32_t rest = static_cast<uint32_t>(perm_pool_bytes_left());
    ASSERT_EQ(rest, 1048576u - 104);
    void* filler = perm_alloc(rest);
    ASSERT_NE(filler, nullptr);
    // The filling request came from a fresh block of twice the size plus n.
    EXPECT_EQ(perm_pool_block_size(), 1048576u * 2 + rest);
    EXPECT_FALSE(filler >= first && filler < first + 1048576);
    EXPECT_EQ(perm_pool_bytes_left(), perm_pool_block_size() - rest);
}

TEST_F(Memory, PermAllocOneByteShortOfTheEndStaysInTheBlock) {
    auto* p = static_cast<uint8_t*>(perm_alloc(1048575));
    EXPECT_EQ(perm_pool_block_size(), 1048576u);
    EXPECT_EQ(perm_pool_bytes_left(), 1u);
    p[1048574] = 1;  // the whole request is usable
}

TEST_F(Memory, PermAllocLargerThanTheBlockGetsItsOwn) {
    auto* p = static_cast<uint8_t*>(perm_alloc(5000000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(perm_pool_block_size(), 1048576u * 2 + 5000000);
    p[4999999] = 1;
}

// --- Low-memory blocks ---------------------------------------------------------

TEST_F(Memory, LowBlocksAreTakenFromTheTopDown) {
    void* first = low_block_alloc(20);
    void* second = low_block_alloc(20);
    EXPECT_EQ(offset_of(first), 0xA0000u - 32);
    EXPECT_EQ(offset_of(second), 0xA0000u - 64);
    low_block_free(first);
    // The freed space at the top is found first and filled from its top.
    EXPECT_EQ(offset_of(low_block_alloc(16)), 0xA0000u - 16);
    EXPECT_EQ(offset_of(low_block_alloc(16)), 0xA0000u - 32);
    // Nothing is left above the second block: a new one goes below it.
    EXPECT_EQ(offset_of(low_block_alloc(1)), 0xA0000u - 80);
    EXPECT_EQ(low_block_live_count(), 4u);
}

TEST_F(Memory, LowBlockFirstFitSkipsGapsThatAreTooSmall) {
    void* a = low_block_alloc(32);
    void* b = low_block_alloc(32);
    void* c = low_block_alloc(32);
    ASSERT_EQ(offset_of(c), 0xA0000u - 96);
    low_block_free(b);
    // 48 bytes do not fit the 32-byte hole left by b.
    EXPECT_EQ(offset_of(low_block_alloc(48)), 0xA0000u - 144);
    // 16 do, at the top of the hole (just below a).
    EXPECT_EQ(offset_of(low_block_alloc(16)), offset_of(a) - 16);
    // The other half of the hole is next, above c.
    EXPECT_EQ(offset_of(low_block_alloc(16)), offset_of(c) + 32);
    EXPECT_EQ(low_block_live_count(), 5u);
}

TEST_F(Memory, LowBlockSizesRoundUpToSixteen) {
    EXPECT_EQ(offset_of(low_block_alloc(16)), 0xA0000u - 16);
    EXPECT_EQ(offset_of(low_block_alloc(17)), 0xA0000u - 48);
    EXPECT_EQ(offset_of(low_block_alloc(65536)), 0xA0000u - 48 - 65536);
}

TEST_F(Memory, LowBlockOfZeroBytesIsTheTopAndMakesNoBlock) {
    void* top = low_block_alloc(0);
    EXPECT_EQ(offset_of(top), 0xA0000u);
    EXPECT_EQ(low_block_live_count(), 0u);
    low_block_free(top);
    EXPECT_EQ(offset_of(low_block_alloc(16)), 0xA0000u - 16);
}

TEST_F(Memory, LowBlockFreeIgnoresWhatItDidNotHandOut) {
    auto* a = static_cast<uint8_t*>(low_block_alloc(64));
    low_block_free(nullptr);
    low_block_free(a + 16);  // inside a block, not its start
    low_block_free(low_memory() + 0x10000);  // below the area
    low_block_free(low_memory() + 0xA0000 - 128);  // in the area, no block there
    int16_t local = 0;
    low_block_free(&local);  // not low memory at all
    EXPECT_EQ(low_block_live_count(), 1u);
    low_block_free(a);
    low_block_free(a);  // twice: the second finds no live block
    EXPECT_EQ(low_block_live_count(), 0u);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Memory, LowBlockAreaHoldsAllOfItsBytes) {
    // 0x10500 .. 0xA0000 is 588,544 bytes: eight 64 KB blocks and one of 64,256.
    for (int i = 0; i < 8; ++i) ASSERT_NE(low_block_alloc(65536), nullptr);
    void* last = low_block_alloc(588544 - 8 * 65536);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(offset_of(last), 0x10500u);
}

TEST_F(Memory, ReleasedLowBlocksCanBeReusedManyTimes) {
    // Records are recycled: far more calls than records succeed.
    for (int i = 0; i < 200000; ++i) {
        void* p = low_block_alloc(16);
        ASSERT_EQ(offset_of(p), 0xA0000u - 16);
        low_block_free(p);
    }
    EXPECT_EQ(low_block_live_count(), 0u);
}

// --- Arrays --------------------------------------------------------------------

TEST_F(Memory, StaticArrayStridesPutTheFirstDimensionInnermost) {
    const ArrayBounds bounds[] = {{0, 3}, {1, 4}, {-2, 2}};
    ArrayDesc* a = array_new_static(3, bounds);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->flags, 3u);
    EXPECT_EQ(a->dim_count, 3u);
    // Stored last dimension first.
    EXPECT_EQ(a->dims[2].lower_bound, 0);
    EXPECT_EQ(a->dims[2].count, 4u);
    EXPECT_EQ(a->dims[2].stride, 1u);
    EXPECT_EQ(a->dims[1].lower_bound, 1);
    EXPECT_EQ(a->dims[1].stride, 4u);
    EXPECT_EQ(a->dims[0].lower_bound, -2);
    EXPECT_EQ(a->dims[0].count, 5u);
    EXPECT_EQ(a->dims[0].stride, 16u);
    array_at(*a, 3, 2, 1) = 77;
    EXPECT_EQ(a->data[3 + (2 - 1) * 4 + (1 + 2) * 16], 77);
    for (int i = 0; i < 80; ++i) {
        if (i != 3 + 4 + 48) {
            EXPECT_EQ(a->data[i], 0) << i;
        }
    }
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Memory, EveryIndexInsideTheBoundsPasses) {
    const ArrayBounds bounds[] = {{0, 3}, {0, 3}, {0, 3}};
    ArrayDesc* board = array_new_static(3, bounds);
    int16_t v = 0;
    for (int f = 0; f <= 3; ++f)
        for (int r = 0; r <= 3; ++r)
            for (int c = 0; c <= 3; ++c) array_at(*board, c, r, f) = ++v;
    v = 0;
    for (int f = 0; f <= 3; ++f)
        for (int r = 0; r <= 3; ++r)
            for (int c = 0; c <= 3; ++c) EXPECT_EQ(array_at(*board, c, r, f), ++v);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Memory, EveryIndexOutsideTheBoundsIsError9AndReadsElement0OfItsDimension) {
    const ArrayBounds bounds[] = {{1, 3}, {1, 4}};
    ArrayDesc* a = array_new_static(2, bounds);
    for (int16_t i = 0; i < 12; ++i) a->data[i] = static_cast<int16_t>(100 + i);
    struct Case {
        int32_t i1, i2;
        int16_t reads;
    };
    const Case cases[] = {
        {0, 2, 100 + 3},  // below in dimension 1: its first element, row 2
        {4, 2, 100 + 3},  // above in dimension 1
        {2, 0, 100 + 1},  // below in dimension 2
        {2, 5, 100 + 1},  // above in dimension 2
        {-1, -1, 100},  // both
        {INT32_MIN, 3, 100 + 6}, {3, INT32_MAX, 100 + 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(array_at(*a, c.i1, c.i2), c.reads) << c.i1 << "," << c.i2;
        EXPECT_EQ(take_error(), 9) << c.i1 << "," << c.i2;
    }
    EXPECT_EQ(array_at(*a, 3, 4), 111);  // both upper bounds pass
    EXPECT_EQ(array_at(*a, 1, 1), 100);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Memory, ArrayIndexCheckComparesUnsigned) {
    EXPECT_EQ(array_index_check(4, 5), 4u);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(array_index_check(5, 5), 0u);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_index_check(0xFFFFFFFF, 5), 0u);  // -1 wraps and fails
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_index_check(0, 0), 0u);
    EXPECT_EQ(take_error(), 9);
}

TEST_F(Memory, WrongNumberOfIndexesIsError9) {
    const ArrayBounds bounds[] = {{0, 3}, {0, 3}};
    ArrayDesc* a = array_new_static(2, bounds);
    a->data[0] = 5;
    EXPECT_EQ(array_at(*a, 1), 5);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_at(*a, 1, 1, 1), 5);
    EXPECT_EQ(take_error(), 9);
}

TEST_F(Memory, UpperBoundOfEachDimension) {
    const ArrayBounds bounds[] = {{1, 3}, {-5, 10}};
    ArrayDesc* a = array_new_static(2, bounds);
    EXPECT_EQ(array_upper_bound(*a, 1, 2), 3);
    EXPECT_EQ(array_upper_bound(*a, 2, 2), 10);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(array_upper_bound(*a, 0, 2), 0);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_upper_bound(*a, 3, 2), 0);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_upper_bound(*a, -1, 2), 0);
    EXPECT_EQ(take_error(), 9);
    ArrayDesc erased;
    array_desc_init(erased);
    EXPECT_EQ(array_upper_bound(erased, 1, 1), 0);
    EXPECT_EQ(take_error(), 9);
}

TEST_F(Memory, ErasedArrayFailsEveryIndexAndReadsZero) {
    ArrayDesc a;
    array_desc_init(a);
    EXPECT_EQ(a.data, reinterpret_cast<int16_t*>(empty_array_block()));
    EXPECT_EQ(a.dims[0].lower_bound, 0x7FFFFFFF);
    EXPECT_EQ(a.dims[0].count, 0u);
    EXPECT_EQ(array_at(a, 0x7FFFFFFF), 0);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_at(a, 1, 1), 0);
    EXPECT_EQ(take_error(), 9);
    // A stray write lands in scratch, never in the shared zero block.
    array_at(a, 2) = 1234;
    take_error();
    const uint8_t* block = empty_array_block();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], 0);
    EXPECT_EQ(array_at(a, 2), 0);
}

TEST_F(Memory, BadBoundsAreError9AndMakeNoArray) {
    const ArrayBounds reversed[] = {{5, 4}};
    EXPECT_EQ(array_new_static(1, reversed), nullptr);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(array_new_static(0, reversed), nullptr);
    EXPECT_EQ(take_error(), 9);
    ArrayDesc a;
    array_desc_init(a);
    array_declare(a, 1, reversed, true);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(a.flags, 0u);
    EXPECT_EQ(low_block_live_count(), 0u);
}

TEST_F(Memory, ArraysTooLargeForTheirCountsAreError7AndAllocateNothing) {
    // 2^32 elements in one dimension, or in the product of two.
    const ArrayBounds whole_range[] = {{INT32_MIN, INT32_MAX}};
    const ArrayBounds product[] = {{0, 65535}, {0, 65536}};
    const struct {
        uint32_t dims;
        const ArrayBounds* bounds;
    } cases[] = {{1, whole_range}, {2, product}};
    for (const auto& c : cases) {
        EXPECT_EQ(array_new_static(c.dims, c.bounds), nullptr);
        EXPECT_EQ(take_error(), 7);
        for (bool low : {false, true}) {
            ArrayDesc a;
            array_desc_init(a);
            array_declare(a, c.dims, c.bounds, low);
            EXPECT_EQ(take_error(), 7);
            EXPECT_EQ(a.flags, 0u);
            EXPECT_EQ(a.data, reinterpret_cast<int16_t*>(empty_array_block()));
        }
    }
    EXPECT_EQ(low_block_live_count(), 0u);
}

TEST_F(Memory, SubroutineArrayInLowMemoryIsZeroedAndReleasedOnExit) {
    // Leftovers of an earlier call must not show through.
    std::memset(low_memory() + 0xA0000 - 64, 0xEE, 64);
    ArrayDesc a;
    array_desc_init(a);
    const ArrayBounds bounds[] = {{1, 10}};
    array_declare(a, 1, bounds, true);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(a.flags, 5u);
    EXPECT_EQ(offset_of(a.data), 0xA0000u - 32);  // 20 bytes round to 32
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(array_at(a, i), 0);
    array_at(a, 10) = 9;
    EXPECT_EQ(low_block_live_count(), 1u);

    array_release(a);
    EXPECT_EQ(low_block_live_count(), 0u);
    EXPECT_EQ(a.flags, 0u);
    EXPECT_EQ(a.data, reinterpret_cast<int16_t*>(empty_array_block()));
    EXPECT_EQ(a.dims[0].lower_bound, 0x7FFFFFFF);
    EXPECT_EQ(a.dims[0].stride, 0u);
    // The next call declares it afresh.
    array_declare(a, 1, bounds, true);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(array_at(a, 10), 0);
    array_release(a);
}

TEST_F(Memory, SubroutineArrayFromTheGeneralAllocator) {
    ArrayDesc a;
    array_desc_init(a);
    const ArrayBounds bounds[] = {{0, 99999}};  // too large for a low block
    array_declare(a, 1, bounds, false);
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(a.flags, 1u);
    EXPECT_EQ(array_at(a, 99999), 0);
    array_at(a, 99999) = 3;
    EXPECT_EQ(array_upper_bound(a, 1, 1), 99999);
    EXPECT_EQ(low_block_live_count(), 0u);
    array_release(a);
    EXPECT_EQ(a.flags, 0u);
}

TEST_F(Memory, DeclaringAnAllocatedOrStaticArrayIsError10) {
    ArrayDesc a;
    array_desc_init(a);
    const ArrayBounds bounds[] = {{0, 3}};
    array_declare(a, 1, bounds, true);
    int16_t* data = a.data;
    const ArrayBounds other[] = {{0, 30}};
    array_declare(a, 1, other, true);
    EXPECT_EQ(take_error(), 10);
    EXPECT_EQ(a.data, data);
    EXPECT_EQ(array_upper_bound(a, 1, 1), 3);
    EXPECT_EQ(low_block_live_count(), 1u);

    ArrayDesc* s = array_new_static(1, bounds);
    array_declare(*s, 1, other, false);
    EXPECT_EQ(take_error(), 10);
    EXPECT_EQ(array_upper_bound(*s, 1, 1), 3);
}

TEST_F(Memory, LeavingASubroutineKeepsItsStaticArrays) {
    const ArrayBounds bounds[] = {{0, 3}};
    ArrayDesc* s = array_new_static(1, bounds);
    array_at(*s, 2) = 8;
    array_release(*s);
    EXPECT_EQ(s->flags, 3u);
    EXPECT_EQ(array_at(*s, 2), 8);
}

// --- Return stack ----------------------------------------------------------------

TEST_F(Memory, ReturnPointsComeBackLastInFirstOut) {
    return_stack_push(10);
    return_stack_push(20);
    uint32_t point = 0;
    ASSERT_TRUE(return_stack_pop(point));
    EXPECT_EQ(point, 20u);
    ASSERT_TRUE(return_stack_pop(point));
    EXPECT_EQ(point, 10u);
    EXPECT_EQ(return_stack_depth(), 0u);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(Memory, ReturnWithoutACallIsError3) {
    uint32_t point = 77;
    EXPECT_FALSE(return_stack_pop(point));
    EXPECT_EQ(point, 77u);
    EXPECT_EQ(take_error(), 3);
    return_stack_push(1);
    ASSERT_TRUE(return_stack_pop(point));
    EXPECT_FALSE(return_stack_pop(point));
    EXPECT_EQ(take_error(), 3);
}

TEST_F(Memory, ReturnStackDoublesWhenFullAndKeepsItsPoints) {
    EXPECT_EQ(return_stack_capacity(), 16384u);
    for (uint32_t i = 0; i < 16383; ++i) return_stack_push(i);
    EXPECT_EQ(return_stack_capacity(), 16384u);
    return_stack_push(16383);
    EXPECT_EQ(return_stack_capacity(), 32768u);
    for (uint32_t i = 16384; i < 40000; ++i) return_stack_push(i);
    EXPECT_EQ(return_stack_capacity(), 65536u);
    uint32_t point = 0;
    for (uint32_t i = 40000; i-- > 0;) {
        ASSERT_TRUE(return_stack_pop(point));
        ASSERT_EQ(point, i);
    }
    EXPECT_EQ(error_code.load(), 0);
}

// --- Restart -------------------------------------------------------------------

std::vector<int> hook_calls;
void first_hook() { hook_calls.push_back(1); }
void second_hook() { hook_calls.push_back(2); }

TEST_F(Memory, RestartZeroesStaticArraysAndVariablesAndErasesDynamicOnes) {
    const ArrayBounds board_bounds[] = {{0, 3}, {0, 3}, {0, 3}};
    ArrayDesc* board = array_new_static(3, board_bounds);
    int16_t* board_data = board->data;
    auto* vars = static_cast<int16_t*>(program_variables_new(4 * sizeof(int16_t)));
    int16_t outside = 9;
    program_variables_register(&outside, sizeof outside);
    ArrayDesc dynamic;
    array_desc_init(dynamic);
    program_array_register(&dynamic);
    const ArrayBounds bounds[] = {{1, 5}};
    array_declare(dynamic, 1, bounds, true);
    ArrayDesc heap_dynamic;
    array_desc_init(heap_dynamic);
    program_array_register(&heap_dynamic);
    array_declare(heap_dynamic, 1, bounds, false);
    program_reset_hook_add(first_hook);
    program_reset_hook_add(second_hook);

    array_at(*board, 3, 3, 3) = 2;
    array_at(*board, 1, 2, 3) = 1;
    vars[0] = 1;
    vars[3] = -1;
    array_at(dynamic, 5) = 4;
    array_at(heap_dynamic, 5) = 4;
    return_stack_push(5);
    return_stack_push(6);

    reset_program_state();

    EXPECT_EQ(board->flags, 3u);
    EXPECT_EQ(board->data, board_data);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(board_data[i], 0) << i;
    EXPECT_EQ(vars[0], 0);
    EXPECT_EQ(vars[3], 0);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(dynamic.flags, 0u);
    EXPECT_EQ(heap_dynamic.flags, 0u);
    EXPECT_EQ(low_block_live_count(), 0u);
    EXPECT_EQ(array_at(dynamic, 5), 0);
    EXPECT_EQ(take_error(), 9);
    EXPECT_EQ(hook_calls, (std::vector<int>{1, 2}));
    EXPECT_EQ(return_stack_depth(), 0u);
    uint32_t point = 0;
    EXPECT_FALSE(return_stack_pop(point));
    EXPECT_EQ(take_error(), 3);
    // The game's arrays work as before after the restart.
    array_at(*board, 1, 1, 1) = 1;
    EXPECT_EQ(board_data[1 + 4 + 16], 1);
}

TEST_F(Memory, ShutdownAndStartupGiveAFreshState) {
    low_block_alloc(100);
    return_stack_push(1);
    perm_alloc(2000000);
    memory_shutdown();
    memory_startup();
    EXPECT_EQ(low_block_live_count(), 0u);
    EXPECT_EQ(return_stack_depth(), 0u);
    EXPECT_EQ(perm_pool_block_size(), 1048576u);
    EXPECT_EQ(offset_of(low_block_alloc(16)), 0xA0000u - 16);
}

// --- Critical errors end the process with code 0 ------------------------------

using MemoryDeathTest = Memory;

TEST_F(MemoryDeathTest, PermanentPoolWithoutANewBlockIs504) {
    EXPECT_EXIT(
        {
            memory_fail_next_allocation();
            perm_alloc(2000000);
        },
        ::testing::ExitedWithCode(0), "Critical Error #4");
}

TEST_F(MemoryDeathTest, LowBlockAbove64KIs505) {
    ASSERT_NE(low_block_alloc(65536), nullptr);
    EXPECT_EXIT(low_block_alloc(65537), ::testing::ExitedWithCode(0), "Critical Error #5");
    ArrayDesc a;
    array_desc_init(a);
    const ArrayBounds bounds[] = {{0, 32768}};  // 65,538 bytes
    EXPECT_EXIT(array_declare(a, 1, bounds, true), ::testing::ExitedWithCode(0), "Critical Error #5");
}

TEST_F(MemoryDeathTest, FullLowMemoryIs506) {
    for (int i = 0; i < 8; ++i) ASSERT_NE(low_block_alloc(65536), nullptr);
    ASSERT_NE(low_block_alloc(588544 - 8 * 65536 - 16), nullptr);
    EXPECT_EXIT(low_block_alloc(17), ::testing::ExitedWithCode(0), "Critical Error #6");
    EXPECT_NE(low_block_alloc(16), nullptr);  // the last 16 bytes still fit
}

TEST_F(MemoryDeathTest, ArrayTheGeneralAllocatorRefusesIs257) {
    ArrayDesc a;
    array_desc_init(a);
    const ArrayBounds bounds[] = {{0, 10}};
    EXPECT_EXIT(
        {
            memory_fail_next_allocation();
            array_declare(a, 1, bounds, false);
        },
        ::testing::ExitedWithCode(0), "Critical Error #1");
}

TEST_F(MemoryDeathTest, ReturnStackThatCannotGrowIs256) {
    for (uint32_t i = 0; i < 16383; ++i) return_stack_push(i);
    EXPECT_EXIT(
        {
            memory_fail_next_allocation();
            return_stack_push(16383);
        },
        ::testing::ExitedWithCode(0), "Out of stack space");
}

}  // namespace
