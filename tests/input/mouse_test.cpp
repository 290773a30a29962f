// MouseQueue under overflow and under a writer that never waits, and window
// pixels turned into page positions and back.
#include <gtest/gtest.h>
#include <cmath>
#include <thread>
#include "runtime/input/mouse_internal.h"

namespace {

// Entry n carries n in every field, so a torn entry shows.
MouseEntry numbered(uint32_t n) { return MouseEntry{uint16_t(n), uint16_t(n * 7), n, int16_t(n * 3), int16_t(n * 5)}; }
bool whole(const MouseEntry& e) {
    const uint32_t n = e.buttons;
    return e.x == uint16_t(n) && e.y == uint16_t(n * 7) && e.movement_x == int16_t(n * 3) &&
        e.movement_y == int16_t(n * 5);
}

TEST(MouseQueue, OverflowLosesOnlyTheOldestEntries) {
    mouse_reset();
    mouse_queue_push(numbered(1));
    ASSERT_TRUE(mouse_queue_advance());
    EXPECT_EQ(mouse_queue_current().buttons, 1u);
    const uint32_t last = 70000;
    for (uint32_t n = 2; n <= last; ++n) mouse_queue_push(numbered(n));
    // The program looks again: it stands on the oldest of the 65536 entries
    // kept and reads the 65535 after it.
    EXPECT_EQ(mouse_queue_current().buttons, last - (mouse_queue_slots - 1));
    uint32_t expected = mouse_queue_current().buttons, steps = 0;
    while (mouse_queue_advance()) {
        ASSERT_EQ(mouse_queue_current().buttons, ++expected);
        ++steps;
    }
    EXPECT_EQ(expected, last);
    EXPECT_EQ(steps, mouse_queue_slots - 1);
    EXPECT_EQ(mouse_queue_newest().buttons, last);
}

TEST(MouseQueue, ResetDiscardsTheUnreadOnly) {
    mouse_reset();
    for (uint32_t n = 1; n <= 5; ++n) mouse_queue_push(numbered(n));
    mouse_queue_discard_unread();
    EXPECT_EQ(mouse_queue_current().buttons, 5u);
    EXPECT_FALSE(mouse_queue_advance());
    mouse_queue_push(numbered(6));
    EXPECT_TRUE(mouse_queue_advance());
    EXPECT_EQ(mouse_queue_current().buttons, 6u);
}

// The writer runs far ahead and laps the reader again and again: every entry
// read is whole and the order only goes forward.
TEST(MouseQueue, ReaderNeverSeesATornEntry) {
    mouse_reset();
    const uint32_t count = 400000;
    std::thread writer([] {
        for (uint32_t n = 1; n <= count; ++n) mouse_queue_push(numbered(n));
    });
    uint32_t previous = 0, torn = 0, backwards = 0;
    while (previous < count) {
        mouse_queue_advance();
        const MouseEntry e = mouse_queue_current();
        torn += !whole(e);
        backwards += e.buttons < previous;
        previous = e.buttons;
        const MouseEntry newest = mouse_queue_newest();
        torn += !whole(newest);
    }
    writer.join();
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(backwards, 0u);
}

MouseAxis text_axis(int origin = 0, int zoom = 1) { return {origin, zoom, true, 80, 8, 640}; }
const MouseAxis graphics_axis{0, 1, false, 320, 0, 320};

TEST(MousePosition, WindowPixelsToPagePositions) {
    struct Case {
        int window_px;
        MouseAxis axis;
        float expected;
    } cases[] = {
        {0, text_axis(), 0.501f},  // 0.5 would round to column 0
        {7, text_axis(), 1.375f},
        {8, text_axis(), 1.5f},  // 1.5 rounds to 2, its own column
        {16, text_axis(), 2.501f},  // 2.5 would round to 2, not column 3
        {639, text_axis(), 80.375f},
        {5000, text_axis(), 80.375f},  // past the page: its last pixel
        {78, text_axis(64, 2), 1.375f},
        {10, text_axis(64, 2), 0.501f},  // left of the picture
        {0, {0, 1, true, 25, 16, 400}, 0.501f},
        {319, graphics_axis, 319.0f},
        {400, graphics_axis, 319.0f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(mouse_page_position(c.window_px, c.axis), c.expected) << "window pixel " << c.window_px;
}

TEST(MousePosition, PagePositionsToWindowPixels) {
    struct Case {
        float page_pos;
        MouseAxis axis;
        bool inside;
        int window_px;
    } cases[] = {
        {0.5f, text_axis(), true, 0},      {80.5f, text_axis(), true, 639},      {0.49f, text_axis(), false, 0},
        {80.51f, text_axis(), false, 0},   {1.375f, text_axis(64, 2), true, 78}, {319.4f, graphics_axis, true, 319},
        {319.6f, graphics_axis, false, 0}, {-0.6f, graphics_axis, false, 0},     {NAN, graphics_axis, false, 0},
        {1e10f, graphics_axis, false, 0},  {NAN, text_axis(), false, 0},
    };
    for (const Case& c : cases) {
        int px = -1;
        ASSERT_EQ(mouse_window_position(c.page_pos, c.axis, &px), c.inside) << "page position " << c.page_pos;
        if (c.inside) {
            EXPECT_EQ(px, c.window_px) << "page position " << c.page_pos;
        }
    }
}

}  // namespace
