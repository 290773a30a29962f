// MouseQueue: 65536 mouse states, written by the event thread and walked by the
// program thread, without a lock and without a torn entry.
//
// Entries are numbered from the start; `written` counts them and is the only
// index the event thread moves. Entry n lives in slot n mod 65536 until entry
// n + 65536 overwrites it. Each slot carries the number of the entry in it,
// marked as changing while the writer fills it, so the program reads an
// entry's fields between two looks at that number and knows whether they all
// came from the entry it asked for. Otherwise the entry was lost to overflow
// and the program moves on to the oldest one still kept.
//
// The read position is the program thread's alone. When the queue overflows
// it trails by more than the queue holds and is pulled forward at the next
// look; a reset publishes the number of its own entry as a floor it is pulled
// up to. Either way the program loses only the oldest entries: after an
// overflow it stands on the oldest of the 65536 kept and reads the 65535
// after it, as a queue whose write index pushes its read index ahead does.
#include "runtime/input/mouse_internal.h"
#include <algorithm>
#include <atomic>

namespace {

constexpr uint64_t slot_mask = mouse_queue_slots - 1;

// Each field is one atomic word, as the entry's layout has it; `number` is the
// entry's, or `changing` while the writer is at it.
constexpr uint64_t changing = ~uint64_t(0);
struct MouseSlot {
    std::atomic<uint64_t> number{changing};
    std::atomic<uint16_t> x{0}, y{0};
    std::atomic<uint32_t> buttons{0};
    std::atomic<int16_t> movement_x{0}, movement_y{0};
};

struct MouseQueueRec {
    MouseSlot slots[mouse_queue_slots];
    std::atomic<uint64_t> written{0};  // event thread
    std::atomic<uint64_t> reset_floor{0};  // event thread: the entry a reset left the program at
    uint64_t read = 0;  // program thread
};
MouseQueueRec MouseQueue;

void write_slot(uint64_t n, const MouseEntry& e) {
    MouseSlot& s = MouseQueue.slots[n & slot_mask];
    s.number.store(changing, std::memory_order_relaxed);
    // Release stores: a reader that sees one of these fields sees the mark.
    s.x.store(e.x, std::memory_order_release);
    s.y.store(e.y, std::memory_order_release);
    s.buttons.store(e.buttons, std::memory_order_release);
    s.movement_x.store(e.movement_x, std::memory_order_release);
    s.movement_y.store(e.movement_y, std::memory_order_release);
    s.number.store(n, std::memory_order_release);
}

// Entry n, which the caller saw published; false when the slot holds another
// entry or was being rewritten while it was read.
bool read_slot(uint64_t n, MouseEntry* e) {
    const MouseSlot& s = MouseQueue.slots[n & slot_mask];
    if (s.number.load(std::memory_order_acquire) != n) return false;
    e->x = s.x.load(std::memory_order_acquire);
    e->y = s.y.load(std::memory_order_acquire);
    e->buttons = s.buttons.load(std::memory_order_acquire);
    e->movement_x = s.movement_x.load(std::memory_order_acquire);
    e->movement_y = s.movement_y.load(std::memory_order_acquire);
    // A field of a newer entry would show the mark here, or the newer number.
    return s.number.load(std::memory_order_relaxed) == n;
}

// Pulls the read position up to a reset's floor and to the oldest entry kept;
// returns the count of entries written.
uint64_t catch_up() {
    // The floor first: a floor seen guarantees its entry is among those written.
    const uint64_t floor = MouseQueue.reset_floor.load(std::memory_order_acquire);
    const uint64_t written = MouseQueue.written.load(std::memory_order_acquire);
    const uint64_t oldest = written > mouse_queue_slots ? written - mouse_queue_slots : 0;
    MouseQueue.read = std::max({MouseQueue.read, floor, oldest});
    return written;
}

}  // namespace

void mouse_queue_start(uint16_t x, uint16_t y) {
    write_slot(0, MouseEntry{x, y, 0, 0, 0});
    MouseQueue.reset_floor.store(0, std::memory_order_release);
    MouseQueue.written.store(1, std::memory_order_release);
    MouseQueue.read = 0;
}

void mouse_queue_push(const MouseEntry& entry) {
    const uint64_t n = MouseQueue.written.load(std::memory_order_relaxed);
    write_slot(n, entry);
    MouseQueue.written.store(n + 1, std::memory_order_release);
}

void mouse_queue_discard_unread() {
    const uint64_t written = MouseQueue.written.load(std::memory_order_relaxed);
    MouseQueue.reset_floor.store(written - 1, std::memory_order_release);
}

MouseEntry mouse_queue_newest() {
    MouseEntry e{};
    for (;;) {
        const uint64_t written = MouseQueue.written.load(std::memory_order_acquire);
        if (read_slot(written - 1, &e)) return e;
    }
}

MouseEntry mouse_queue_current() {
    MouseEntry e{};
    for (;;) {
        catch_up();
        if (read_slot(MouseQueue.read, &e)) return e;
        // Its slot is taking a newer entry: this one is lost to overflow.
        ++MouseQueue.read;
    }
}

bool mouse_queue_advance() {
    const uint64_t written = catch_up();
    if (MouseQueue.read + 1 >= written) return false;
    ++MouseQueue.read;
    return true;
}

uint64_t mouse_queue_written() { return MouseQueue.written.load(std::memory_order_acquire); }
