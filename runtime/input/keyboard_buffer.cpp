// The rings a program reads keys from: KeyBuffer in low memory, KeyHitQueue, and
// ScanCodeQueue behind port 0x60; and the keyboard status bytes.
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/strings.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/input/keyboard_internal.h"

namespace {
// --- KeyBuffer: head and tail are single bytes at 0x41A and 0x41C, each an
// offset from 0x400; the event thread moves only the tail, the reader the head.
std::atomic_ref<uint8_t> buffer_byte(uint32_t offset) { return std::atomic_ref<uint8_t>(low_memory()[offset]); }

// The next slot offset, wrapping from 62 to 30. A head or tail that a program
// poked out of range also restarts at 30, so no write leaves the buffer area.
uint8_t next_slot(uint8_t offset) {
    if (offset < key_buffer_start || offset + 2 >= key_buffer_end) return key_buffer_start;
    return static_cast<uint8_t>(offset + 2);
}

// --- KeyHitQueue: one writer and one reader; when full the writer drops the
// oldest entry by moving the read index too, so the reader claims with a CAS.
struct KeyHitEntry {
    std::atomic<int32_t> code{0};
    std::atomic<uint32_t> keypad{0};
};
constexpr uint32_t key_hit_mask = key_hit_queue_size - 1;
KeyHitEntry KeyHitQueue[key_hit_queue_size];
std::atomic<uint32_t> KeyHitWrite{0};
std::atomic<uint32_t> KeyHitRead{0};

// --- ScanCodeQueue: both sides shift bytes, so both take the lock.
struct ScanCodes {
    uint8_t bytes[scan_code_queue_size] = {};
    uint32_t count = 0;
};
ScanCodes ScanCodeQueue;
std::mutex ScanLock;

void scan_queue_push(uint8_t code) {
    std::lock_guard<std::mutex> guard(ScanLock);
    // Auto-repeat repeats the make code of a held key; it is queued once.
    if (ScanCodeQueue.count > 0 && ScanCodeQueue.bytes[ScanCodeQueue.count - 1] == code) return;
    if (ScanCodeQueue.count == scan_code_queue_size) {
        std::memmove(ScanCodeQueue.bytes, ScanCodeQueue.bytes + 1, scan_code_queue_size - 1);
        --ScanCodeQueue.count;
    }
    ScanCodeQueue.bytes[ScanCodeQueue.count++] = code;
}
}  // namespace

namespace {
// Programs wait for a key by polling the buffer in a loop. Once reads keep
// finding it empty in quick succession, an empty read blocks on the program's
// wake-up (a key stored, a pause, an error, a trap or the shutdown) for at
// most idle_read_wait_ms, so a waiting program leaves the processor idle and
// still gets its key the moment it is stored. A program that works between
// its reads is never held.
constexpr uint32_t empty_reads_before_wait = 64;
constexpr uint32_t idle_read_wait_ms = 50;
constexpr auto quick_succession = std::chrono::milliseconds(2);
std::atomic<uint32_t> EmptyReads{0};
std::chrono::steady_clock::time_point LastEmptyRead{};  // program thread only

bool key_or_event_waiting() { return key_buffer_count() != 0 || event_pending.load(std::memory_order_relaxed) != 0; }

bool idle_polling() {
    if (EmptyReads.load(std::memory_order_relaxed) < empty_reads_before_wait) return false;
    return std::chrono::steady_clock::now() - LastEmptyRead < quick_succession;
}
}  // namespace

void key_buffer_store(uint8_t character, uint8_t scan) {
    uint8_t head = buffer_byte(low_key_buffer_head).load(std::memory_order_acquire);
    uint8_t tail = buffer_byte(low_key_buffer_tail).load(std::memory_order_relaxed);
    uint8_t next = next_slot(tail);
    if (next == head) return;  // full: the new key is lost
    if (tail < key_buffer_start || tail >= key_buffer_end) tail = key_buffer_start;
    std::atomic_ref<uint8_t>(low_memory()[key_buffer_base + tail]).store(character, std::memory_order_relaxed);
    std::atomic_ref<uint8_t>(low_memory()[key_buffer_base + tail + 1]).store(scan, std::memory_order_relaxed);
    buffer_byte(low_key_buffer_tail).store(next_slot(tail), std::memory_order_release);
    program_wakeup.signal();
}

void key_buffer_clear() {
    EmptyReads.store(0, std::memory_order_relaxed);
    buffer_byte(low_key_buffer_head).store(key_buffer_start, std::memory_order_relaxed);
    buffer_byte(low_key_buffer_head + 1).store(0, std::memory_order_relaxed);
    buffer_byte(low_key_buffer_tail).store(key_buffer_start, std::memory_order_release);
    buffer_byte(low_key_buffer_tail + 1).store(0, std::memory_order_relaxed);
}

uint32_t key_buffer_count() {
    uint8_t head = buffer_byte(low_key_buffer_head).load(std::memory_order_acquire);
    uint8_t tail = buffer_byte(low_key_buffer_tail).load(std::memory_order_acquire);
    uint32_t n = 0;
    while (head != tail && n <= key_buffer_capacity) {
        head = next_slot(head);
        ++n;
    }
    return n;
}

uint32_t key_buffer_take(uint8_t out[2]) {
    out[0] = out[1] = 0;
    uint8_t head = buffer_byte(low_key_buffer_head).load(std::memory_order_relaxed);
    uint8_t tail = buffer_byte(low_key_buffer_tail).load(std::memory_order_acquire);
    if (head == tail) return 0;
    uint8_t slot = (head < key_buffer_start || head >= key_buffer_end) ? key_buffer_start : head;
    out[0] = std::atomic_ref<uint8_t>(low_memory()[key_buffer_base + slot]).load(std::memory_order_relaxed);
    out[1] = std::atomic_ref<uint8_t>(low_memory()[key_buffer_base + slot + 1]).load(std::memory_order_relaxed);
    buffer_byte(low_key_buffer_head).store(next_slot(slot), std::memory_order_release);
    // An extended key reads as character 0 followed by its scan code.
    return (out[0] == 0 && out[1] != 0) ? 2 : 1;
}

StrDesc* key_buffer_read() {
    uint8_t pair[2] = {0, 0};
    if (runtime_error_pending()) return str_from_bytes(pair, 0);
    uint32_t length = key_buffer_take(pair);
    if (length == 0 && idle_polling()) {
        wait_until(program_wakeup, key_or_event_waiting, idle_read_wait_ms);
        length = key_buffer_take(pair);
    }
    if (length == 0) {
        EmptyReads.fetch_add(1, std::memory_order_relaxed);
        LastEmptyRead = std::chrono::steady_clock::now();
    } else {
        EmptyReads.store(0, std::memory_order_relaxed);
    }
    return str_from_bytes(pair, length);
}

void key_hit_push(int32_t code, uint32_t keypad) {
    uint32_t w = KeyHitWrite.load(std::memory_order_relaxed);
    uint32_t next = (w + 1) & key_hit_mask;
    uint32_t r = KeyHitRead.load(std::memory_order_acquire);
    if (next == r) KeyHitRead.compare_exchange_strong(r, (r + 1) & key_hit_mask, std::memory_order_acq_rel);
    KeyHitQueue[w].code.store(code, std::memory_order_relaxed);
    KeyHitQueue[w].keypad.store(keypad, std::memory_order_relaxed);
    KeyHitWrite.store(next, std::memory_order_release);
    program_wakeup.signal();
}

int32_t key_hit_next() {
    for (;;) {
        uint32_t r = KeyHitRead.load(std::memory_order_acquire);
        if (r == KeyHitWrite.load(std::memory_order_acquire)) return 0;
        int32_t code = KeyHitQueue[r].code.load(std::memory_order_relaxed);
        if (KeyHitRead.compare_exchange_weak(r, (r + 1) & key_hit_mask, std::memory_order_acq_rel)) return code;
    }
}

void key_hit_clear() { KeyHitRead.store(KeyHitWrite.load(std::memory_order_acquire), std::memory_order_release); }

void scan_queue_push_make(uint8_t scan) { scan_queue_push(scan); }
void scan_queue_push_break(uint8_t scan) { scan_queue_push(static_cast<uint8_t>(scan + 128)); }

void scan_queue_clear() {
    std::lock_guard<std::mutex> guard(ScanLock);
    ScanCodeQueue = ScanCodes{};
}

std::string scan_queue_contents() {
    std::lock_guard<std::mutex> guard(ScanLock);
    return std::string(reinterpret_cast<const char*>(ScanCodeQueue.bytes), ScanCodeQueue.count);
}

uint32_t scan_code_queue_count() {
    std::lock_guard<std::mutex> guard(ScanLock);
    return ScanCodeQueue.count;
}

uint8_t key_port_read() {
    std::lock_guard<std::mutex> guard(ScanLock);
    uint8_t first = ScanCodeQueue.bytes[0];
    // An empty queue keeps its first byte: the last code read comes again.
    if (ScanCodeQueue.count == 0) return first;
    std::memmove(ScanCodeQueue.bytes, ScanCodeQueue.bytes + 1, ScanCodeQueue.count - 1);
    --ScanCodeQueue.count;
    return first;
}

void update_keyboard_status_bytes() {
    auto bit = [](int32_t code, int shift) { return held_key_contains(code) ? (1 << shift) : 0; };
    int status1 = bit(key_code_right_shift, 0) | bit(key_code_left_shift, 1) | (ctrl_held() ? 4 : 0) |
        (alt_held() ? 8 : 0) | bit(key_code_scroll_mode, 4) | bit(key_code_numlock, 5) | bit(key_code_capslock, 6) |
        bit(key_code_insert_mode, 7);
    int status2 = bit(key_code_left_ctrl, 0) | bit(key_code_left_alt, 1) | bit(key_code_sysreq, 2) |
        bit(key_code_pause, 3) | bit(key_code_scrolllock, 4) | bit(key_code_insert, 7);
    int status3 = bit(key_code_right_ctrl, 0) | bit(key_code_right_alt, 1) | 0x10;
    buffer_byte(low_keyboard_status1).store(static_cast<uint8_t>(status1), std::memory_order_relaxed);
    buffer_byte(low_keyboard_status2).store(static_cast<uint8_t>(status2), std::memory_order_relaxed);
    buffer_byte(low_keyboard_status3).store(static_cast<uint8_t>(status3), std::memory_order_relaxed);
}
