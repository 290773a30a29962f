// The keyboard's stores at their limits: KeyBuffer, KeyHitQueue, ScanCodeQueue,
// HeldKeyList; the traps, soft keys and the errors a program can cause.
#include <gtest/gtest.h>
#include <thread>
#include "runtime/core/errors.h"
#include "runtime/input/keyboard_internal.h"
#include "tests/input/keyboard_test_support.h"

using namespace kbtest;

namespace {
class KeyboardStores : public ::testing::Test {
protected:
    void SetUp() override { fresh_keyboard(); }
    static StrDesc* text(const std::string& s) { return str_from_bytes(s.data(), static_cast<uint32_t>(s.size())); }
};
}  // namespace

TEST_F(KeyboardStores, BufferWrapsAroundItsSixteenSlots) {
    std::string expected, read;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 11; ++i) {
            char c = static_cast<char>('a' + (round * 11 + i) % 26);
            key_down(c);
            key_up(c);
            expected += c;
        }
        while (key_buffer_count() > 0) read += read_once();
    }
    EXPECT_EQ(read, expected);
    uint8_t head = low_memory()[low_key_buffer_head];
    EXPECT_TRUE(head >= 30 && head <= 60 && head % 2 == 0);
    EXPECT_EQ(low_memory()[low_key_buffer_head + 1], 0);
}

TEST_F(KeyboardStores, SlotsHoldCharacterThenScanCode) {
    key_down('z');
    key_down(0x4800);
    EXPECT_EQ(low_memory()[key_buffer_first_slot], 'z');
    EXPECT_EQ(low_memory()[key_buffer_first_slot + 1], 44);
    EXPECT_EQ(low_memory()[key_buffer_first_slot + 2], 0);
    EXPECT_EQ(low_memory()[key_buffer_first_slot + 3], 72);
    EXPECT_EQ(low_memory()[low_key_buffer_tail], 34);
}

TEST_F(KeyboardStores, NulAndUnscannedCharactersReadAsOneByte) {
    key_down(0);  // NUL
    key_down(200);  // a character without a key
    key_down(0x2200);  // an extended code with no row values
    EXPECT_EQ(drain_reads(),
              std::string("1\0"
                          "1\xc8"
                          "2\0\x22",
                          7));
    EXPECT_TRUE(key_is_held(key_code_nul));
    key_up(0);
    EXPECT_FALSE(key_is_held(key_code_nul));
}

TEST_F(KeyboardStores, PokedHeadAndTailNeverLeaveTheBuffer) {
    low_memory()[low_key_buffer_head] = 7;
    low_memory()[low_key_buffer_tail] = 201;
    uint8_t before = low_memory()[0x4FF];
    for (int i = 0; i < 40; ++i) key_down('a');
    for (int i = 0; i < 40; ++i) read_once();
    EXPECT_EQ(low_memory()[0x4FF], before);
    uint8_t tail = low_memory()[low_key_buffer_tail];
    EXPECT_TRUE(tail >= 30 && tail <= 60);
}

TEST_F(KeyboardStores, ReadDoesNothingWhileAnErrorIsPending) {
    key_down('a');
    runtime_error(9);
    EXPECT_EQ(read_once(), "");
    EXPECT_EQ(key_buffer_count(), 1u);
    error_code.store(0);
    EXPECT_EQ(read_once(), "a");
}

TEST_F(KeyboardStores, KeyHitQueueDropsTheOldest) {
    for (int32_t i = 1; i <= 8200; ++i) key_hit_push(i, 0);
    int32_t first = key_hit_next();
    uint32_t n = 1;
    int32_t last = first;
    while (int32_t c = key_hit_next()) {
        last = c;
        ++n;
    }
    EXPECT_EQ(n, key_hit_queue_size - 1);
    EXPECT_EQ(first, 8200 - static_cast<int32_t>(key_hit_queue_size - 1) + 1);
    EXPECT_EQ(last, 8200);
}

TEST_F(KeyboardStores, KeyHitQueueMarksKeypadAndReleases) {
    key_down(100264);  // keypad 8, NumLock on
    key_up(100264);
    key_down(200004);  // keypad Left, NumLock off
    EXPECT_EQ(hits(), "56 -56 " + std::to_string(0x4B00) + " ");
}

TEST_F(KeyboardStores, KeyHitQueueWithAConcurrentReader) {
    std::atomic<bool> done{false};
    std::vector<int32_t> seen;
    std::thread reader([&] {
        for (;;) {
            bool writer_done = done.load();
            int32_t c = key_hit_next();
            if (c != 0)
                seen.push_back(c);
            else if (writer_done)
                break;
        }
    });
    for (int32_t i = 1; i <= 20000; ++i) key_hit_push(i, 0);
    done.store(true);
    reader.join();
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i) ASSERT_LT(seen[i - 1], seen[i]);  // oldest first, none twice
    EXPECT_EQ(seen.back(), 20000);
}

TEST_F(KeyboardStores, ScanCodeQueueKeepsTheNewest256) {
    for (int i = 0; i < 300; ++i) scan_queue_push_make(static_cast<uint8_t>(i % 2 ? 10 : 20));
    EXPECT_EQ(scan_code_queue_count(), 256u);
    scan_queue_clear();
    EXPECT_EQ(key_port_read(), 0);  // nothing read yet
    for (int i = 1; i <= 300; ++i) scan_queue_push_make(static_cast<uint8_t>(i % 100 + 1));
    EXPECT_EQ(key_port_read(), (300 - 256 + 1) % 100 + 1);
    for (int i = 0; i < 255; ++i) key_port_read();
    EXPECT_EQ(scan_code_queue_count(), 0u);
    EXPECT_EQ(key_port_read(), 300 % 100 + 1);  // empty: the last code again
    EXPECT_EQ(key_port_read(), 300 % 100 + 1);
}

TEST_F(KeyboardStores, HeldKeysKeepPressOrderAndTheirTags) {
    for (int32_t code : {'a', 'b', 'c', 'b'}) {
        key_set_pending_tag(code + 1000);
        held_key_add(code);
    }
    EXPECT_EQ(held_key_count(), 3u);
    held_key_remove('a');
    int32_t code = 0;
    ASSERT_TRUE(held_key_code_of_tag('c' + 1000, &code));
    EXPECT_EQ(code, 'c');
    EXPECT_FALSE(held_key_code_of_tag('a' + 1000, &code));
    held_key_add('d');  // pending tag was reset to 0
    ASSERT_TRUE(held_key_code_of_tag(0, &code));
    EXPECT_EQ(code, 'd');
    EXPECT_EQ(held_key_count(), 3u);
}

TEST_F(KeyboardStores, HeldKeysReadSafelyWhileTheEventThreadTypes) {
    std::atomic<bool> stop{false};
    std::thread events([&] {
        for (int round = 0; round < 2000; ++round) {
            for (int32_t c = 'a'; c <= 'z'; ++c) key_down(c);
            for (int32_t c = 'a'; c <= 'z'; ++c) key_up(c);
        }
        stop.store(true);
    });
    uint32_t answers = 0;
    while (!stop.load()) {
        key_down_query('m');
        ++answers;
    }
    events.join();
    EXPECT_GT(answers, 0u);
    EXPECT_EQ(held_key_count(), 0u);
}

TEST_F(KeyboardStores, KeyDownQueryBelowOneIsAnError) {
    EXPECT_EQ(key_down_query(0), 0);
    EXPECT_EQ(error_code.load(), 5);
    error_code.store(0);
    EXPECT_EQ(key_down_query(-7), 0);
    EXPECT_EQ(error_code.load(), 5);
    error_code.store(0);
    EXPECT_EQ(key_down_query('q'), 0);
    key_down('q');
    EXPECT_EQ(key_down_query('q'), -1);
    EXPECT_EQ(error_code.load(), 0);
}

TEST_F(KeyboardStores, HostileCodesAreDropped) {
    key_down(-5);
    key_up(-5);
    key_down(0x7FFFFFFF);
    key_up(0x7FFFFFFF);
    key_down_unicode(0xFFFFFFFF);
    key_up_unicode(0xFFFFFFFF);
    key_down(0xFFFF);
    EXPECT_EQ(hits(), std::to_string(0x7FFFFFFF) + " " + std::to_string(-0x7FFFFFFF) + " 65535 ");
    EXPECT_EQ(drain_reads(), std::string("2\0\xff", 3));
}

TEST_F(KeyboardStores, TrapTakesTheKeyAwayFromQueueAndBuffer) {
    key_trap_set_handler(11, 77, 1, 2);
    key_trap_set_state(11, key_trap_on);
    key_down(0x4800);  // Up
    key_up(0x4800);
    key_down(100264);  // keypad 8 with NumLock on
    key_up(100264);
    EXPECT_EQ(key_trap_info(11).pending, 2);
    EXPECT_NE(event_pending.load(), 0);
    EXPECT_EQ(key_hit_next(), 0);
    EXPECT_EQ(key_buffer_count(), 0u);
    uint32_t handler = 0, p1 = 0, p2 = 0;
    EXPECT_EQ(key_trap_take_pending(&handler, &p1, &p2), 11);
    EXPECT_EQ(handler, 77u);
    EXPECT_EQ(p2, 2u);
    EXPECT_EQ(key_trap_take_pending(nullptr, nullptr, nullptr), 11);
    EXPECT_EQ(key_trap_take_pending(nullptr, nullptr, nullptr), -1);
    key_down('a');  // other keys go their way
    EXPECT_EQ(read_once(), "a");
}

TEST_F(KeyboardStores, StoppedTrapKeepsOneOccurrence) {
    key_trap_set_handler(12, 5, 0, 0);
    key_trap_set_state(12, key_trap_stopped);
    for (int i = 0; i < 3; ++i) key_down(0x4B00);
    EXPECT_EQ(key_trap_info(12).pending, 1);
    EXPECT_EQ(key_trap_take_pending(nullptr, nullptr, nullptr), -1);  // not while stopped
    key_trap_set_state(12, key_trap_off);
    key_down(0x4B00);
    EXPECT_EQ(key_buffer_count(), 1u);
}

TEST_F(KeyboardStores, UserDefinedTrapMatchesScanCodeAndModifiers) {
    soft_key_define(15, text(std::string("\x04\x1e")));  // Ctrl + the A key
    EXPECT_EQ(key_trap_info(15).trap_scan, 30);
    EXPECT_EQ(key_trap_info(15).trap_flags, 4);
    key_trap_set_handler(15, 9, 0, 0);
    key_trap_set_state(15, key_trap_on);
    key_down('a');  // no Ctrl: not this trap
    key_down(key_code_left_ctrl);
    key_down('a');
    key_down('A');  // same key, other case
    key_down('b');
    EXPECT_EQ(key_trap_info(15).pending, 2);
    EXPECT_EQ(drain_reads(), std::string("1a1\x02", 4));
    soft_key_define(15, text(""));
    EXPECT_EQ(key_trap_info(15).trap_scan, 0);
}

TEST_F(KeyboardStores, ExtendedFlagMustMatch) {
    soft_key_define(16, text(std::string("\x80\x48")));  // extended Up (scan 72)
    key_trap_set_handler(16, 3, 0, 0);
    key_trap_set_state(16, key_trap_on);
    key_down(200008);  // keypad Up is not extended
    EXPECT_EQ(key_trap_info(16).pending, 0);
    key_down(0x4800);
    EXPECT_EQ(key_trap_info(16).pending, 1);
}

TEST_F(KeyboardStores, SoftKeyTypesItsText) {
    soft_key_define(1, text("hi\r"));
    key_down(0x3B00);  // F1
    key_up(0x3B00);
    EXPECT_EQ(drain_reads(), "1h1i1\r");
    EXPECT_EQ(hits(), "104 -104 105 -105 13 -13 ");  // F1 itself is not reported
    soft_key_define(31, text("x"));
    key_down(0x8600);  // F12
    EXPECT_EQ(read_once(), "x");
    EXPECT_EQ(soft_key_text(31), "x");
}

TEST_F(KeyboardStores, SoftKeyDefineRejectsBadArguments) {
    soft_key_define(2, text("0123456789abcdef"));  // 16 bytes
    EXPECT_EQ(error_code.load(), 5);
    EXPECT_EQ(soft_key_text(2), "");
    error_code.store(0);
    for (int32_t n : {0, 11, 14, 32, -1}) {
        soft_key_define(n, text("x"));
        EXPECT_EQ(error_code.load(), 5) << n;
        error_code.store(0);
    }
    soft_key_define(3, text("0123456789abcde"));  // 15 bytes fit
    EXPECT_EQ(soft_key_text(3), "0123456789abcde");
    runtime_error(7);
    soft_key_define(3, text("no"));
    EXPECT_EQ(soft_key_text(3), "0123456789abcde");
}

TEST_F(KeyboardStores, SoftKeyListLines) {
    soft_key_define(1, text("a\tb"));
    soft_key_define(30, text("eleven"));
    EXPECT_EQ(soft_key_list_line(1, true, true), "F1  a b");
    EXPECT_EQ(soft_key_list_line(11, true, true), "F11 eleven");
    EXPECT_EQ(soft_key_list_line(1, false, true), "F1)  a b");
    EXPECT_EQ(soft_key_list_line(1, false, false), "F1) a b");
    EXPECT_EQ(soft_key_list_line(12, false, true), "F12) ");
}

TEST_F(KeyboardStores, TrappedKeyListStopsAt256) {
    key_trap_set_handler(1, 1, 0, 0);
    key_trap_set_state(1, key_trap_on);
    for (int i = 0; i < 300; ++i) key_down(0x3B00);  // 300 presses, no release
    for (int i = 0; i < 300; ++i) key_up(0x3B00);
    // Each recorded press swallows one release; the ones beyond 256 are reported.
    uint32_t releases = 0;
    while (key_hit_next() != 0) ++releases;
    EXPECT_EQ(releases, 300u - trapped_key_list_size);
}
