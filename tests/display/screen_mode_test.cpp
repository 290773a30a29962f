// The screen-mode and text-size statements, pages on first use, default colours
// and the pause handshake with the event thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "display/display_fixture.h"

namespace {

class ScreenMode : public DisplayFixture {
protected:
    static ImageRec& page(int n) { return *image_record(page_handle(n)); }
    static void screen(int32_t mode) { set_screen_mode(mode, 0, 0, 0, 0, 1); }
    static void pages(int32_t active, int32_t visual, uint32_t passed) {
        set_screen_mode(0, 0, active, visual, 0, passed);
    }
    static bool text_memory_blank() {
        for (uint32_t i = 0; i < 0x10000; i += 2)
            if (low_read16(low_text_pages + i) != 0x0720) return false;
        return true;
    }
    // Checks eight text pages of the given size, font and spacing in low memory.
    static void expect_text_pages(int columns, int rows, uint32_t font, uint32_t spacing) {
        for (int n = 0; n < 8; ++n) {
            SCOPED_TRACE(n);
            ImageRec& p = page(n);
            EXPECT_EQ(p.width, columns);
            EXPECT_EQ(p.height, rows);
            EXPECT_EQ(p.font, font);
            EXPECT_EQ(p.pixels, low_memory() + low_text_pages + n * spacing);
            EXPECT_EQ(p.palette, page(0).palette);
            EXPECT_TRUE(p.flags & image_is_screen_page);
        }
        EXPECT_TRUE(text_memory_blank());
    }
};

TEST_F(ScreenMode, StartUpScreen) {
    expect_text_pages(80, 25, 16, 4096);
    EXPECT_TRUE(default_screen_untouched());
    EXPECT_EQ(page(0).fg_colour, 7u);
    EXPECT_EQ(page(0).view_bottom_row, 24);
    EXPECT_EQ(display_image(), &page(0));
    EXPECT_EQ(dest_image(), &page(0));
    EXPECT_EQ(source_image(), &page(0));
    EXPECT_FALSE(page(0).flags & image_owns_pixels);
    EXPECT_TRUE(page(0).flags & image_owns_palette);
    EXPECT_FALSE(page(1).flags & image_owns_palette);
}

TEST_F(ScreenMode, TheGamesFortyColumnScreen) {
    screen(0);
    set_text_size(0, 40, 25, 3);
    EXPECT_EQ(error_code.load(), 0);
    expect_text_pages(40, 25, 17, 2048);
    EXPECT_EQ(page(0).view_bottom_row, 24);
    EXPECT_EQ(page_count(), 8);
}

TEST_F(ScreenMode, TextSizesAndTheirPages) {
    set_text_size(0, 80, 50, 3);
    expect_text_pages(80, 50, 8, 8000);
    // Only columns: rows stay, the font follows them.
    set_text_size(0, 40, 0, 1);
    expect_text_pages(40, 50, 9, 4000);
    set_text_size(0, 0, 43, 2);
    expect_text_pages(40, 43, 15, 3440);
    // 132 x 60 pages are 15840 bytes: four fit at 0xB8000, the rest live on the heap.
    set_text_size(0, 132, 60, 3);
    EXPECT_EQ(page(3).pixels, low_memory() + low_text_pages + 3 * 15840);
    ImageRec& heap = page(4);
    EXPECT_TRUE(heap.flags & image_owns_pixels);
    EXPECT_EQ(heap.pixels[0] | heap.pixels[1] << 8, 0x0720);
    EXPECT_EQ(heap.palette, page(0).palette);
}

TEST_F(ScreenMode, TextSizeInTextModeChangesOnlyWhenNeeded) {
    page(0).pixels[0] = 'X';
    set_text_size(0, 80, 25, 3);
    set_text_size(0, 80, 0, 1);
    set_text_size(0, 0, 25, 2);
    EXPECT_EQ(page(0).pixels[0], 'X');
    EXPECT_EQ(error_of([] { set_text_size(0, 0, 0, 0); }), 5);
    EXPECT_EQ(error_of([] { set_text_size(0, 0, 25, 3); }), 5);
    EXPECT_EQ(error_of([] { set_text_size(0, 80, -1, 3); }), 5);
    EXPECT_EQ(error_of([] { set_text_size(0, INT_MIN, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { set_text_size(0, INT_MAX, INT_MAX, 3); }), 5);
    EXPECT_EQ(error_of([] { set_text_size(0, 80, 256, 3); }), 5);
    set_text_size(1, 10, 10, 3);  // other devices leave the screen alone
    EXPECT_EQ(page(0).pixels[0], 'X');
    EXPECT_EQ(page(0).width, 80);
}

TEST_F(ScreenMode, RefusedModesLeaveTheScreen) {
    ImageRec* before = &page(0);
    page(0).pixels[0] = 'X';
    for (int32_t mode : {3, 4, 5, 6, 14, 255, INT_MAX}) {
        EXPECT_EQ(error_of([&] { screen(mode); }), 5) << mode;
        EXPECT_EQ(&page(0), before);
        EXPECT_EQ(page(0).pixels[0], 'X');
        EXPECT_EQ(page_count(), 8);
    }
    EXPECT_EQ(error_of([] { set_screen_mode(0, 0, -1, 0, 0, 5); }), 5);
    EXPECT_EQ(error_of([] { set_screen_mode(12, 0, 0, INT_MIN, 0, 9); }), 5);
    EXPECT_EQ(error_of([] { set_screen_mode(12, 0, page_number_limit + 1, 0, 0, 5); }), 5);
    EXPECT_EQ(page(0).mode, 0);
    EXPECT_EQ(page(0).pixels[0], 'X');
    // The same mode again, with no text size pending, clears nothing.
    screen(0);
    EXPECT_EQ(&page(0), before);
    EXPECT_EQ(page(0).pixels[0], 'X');
}

TEST_F(ScreenMode, DefaultScreenUntouchedRules) {
    screen(0);
    EXPECT_TRUE(default_screen_untouched());
    set_screen_mode(0, 0, 0, 0, 0, 5);
    EXPECT_FALSE(default_screen_untouched());
    screen_state_reset();
    error_of([] { screen(4); });
    EXPECT_FALSE(default_screen_untouched());
    screen_state_reset();
    set_text_size(0, 80, 25, 3);
    EXPECT_FALSE(default_screen_untouched());
    screen_state_reset();
    set_screen_mode(0, 1, 0, 0, 0, 3);  // the colour switch is a further argument
    EXPECT_FALSE(default_screen_untouched());
}

struct PixelMode {
    int32_t mode;
    uint16_t width, height;
    uint32_t font;
};

TEST_F(ScreenMode, PixelModesBuildOnePage) {
    const PixelMode table[] = {{1, 320, 200, 8},   {2, 640, 200, 8},   {7, 320, 200, 8},
                               {8, 640, 200, 8},   {9, 640, 350, 14},  {10, 640, 350, 14},
                               {11, 640, 480, 16}, {12, 640, 480, 16}, {13, 320, 200, 8}};
    for (const PixelMode& m : table) {
        SCOPED_TRACE(m.mode);
        screen(m.mode);
        EXPECT_EQ(page(0).mode, m.mode);
        EXPECT_EQ(page(0).width, m.width);
        EXPECT_EQ(page(0).height, m.height);
        EXPECT_EQ(page(0).font, m.font);
        EXPECT_EQ(page_count(), 1);
        EXPECT_EQ(display_image(), &page(0));
        EXPECT_EQ(dest_image(), &page(0));
    }
}

TEST_F(ScreenMode, ModeThirteenLivesAtA0000) {
    std::memset(low_memory() + low_graphics_page, 0x55, 64000);
    screen(13);
    EXPECT_EQ(page(0).pixels, low_memory() + low_graphics_page);
    EXPECT_EQ(low_memory()[low_graphics_page + 63999], 0);
    EXPECT_EQ(page(0).palette[255], vga256_palette()[255]);
    screen(0);  // the 40 x 25 size of the old screen carries over
    expect_text_pages(40, 25, 17, 2048);
}

TEST_F(ScreenMode, PagesAreMadeOnFirstUseAndSharePageZerosPalette) {
    screen(12);
    EXPECT_EQ(page_handle(2), 0);
    page(0).gfx.gfx_x = 17.0f;
    dest_image()->fg_colour = 4;
    pages(2, 0, 4);
    ImageRec& two = page(2);
    EXPECT_EQ(display_image(), &two);
    EXPECT_EQ(dest_image(), &two);
    EXPECT_EQ(source_image(), &two);
    EXPECT_EQ(two.palette, page(0).palette);
    EXPECT_FALSE(two.flags & image_owns_palette);
    EXPECT_FLOAT_EQ(two.gfx.gfx_x, 17.0f);  // the graphics state follows the active page
    EXPECT_EQ(two.fg_colour, 15u);
    EXPECT_EQ(page_handle(1), 0);

    // Showing another page keeps writing where it wrote.
    two.fg_colour = 9;
    pages(0, 1, 8);
    EXPECT_EQ(display_image(), &page(1));
    EXPECT_EQ(dest_image(), &two);
    EXPECT_EQ(two.fg_colour, 9u);

    // A mode change frees every page and starts again at page 0.
    screen(13);
    EXPECT_EQ(page_count(), 1);
    EXPECT_EQ(page_handle(2), 0);
}

TEST_F(ScreenMode, TextModeActivePageResetsTheCursorRow) {
    page(3).cursor_row = 30;
    page(3).view_top_row = 5;
    pages(3, 0, 12);
    EXPECT_EQ(dest_image(), &page(3));
    EXPECT_EQ(display_image(), &page(0));
    EXPECT_EQ(page(3).cursor_row, 1);
    EXPECT_EQ(page(3).view_top_row, 1);
    EXPECT_EQ(page(3).view_bottom_row, 24);
}

TEST_F(ScreenMode, AProgramImageAsTheScreen) {
    int32_t image = new_image(100, 50, 256, true);
    set_screen_mode(image, 0, 0, 0, 0, 1);
    EXPECT_TRUE(screen_is_program_image());
    EXPECT_EQ(display_image(), image_record(-image));
    EXPECT_EQ(error_of([&] { free_image(image, true); }), 5);
    pages(1, 0, 4);
    EXPECT_EQ(page(1).width, 100);
    EXPECT_EQ(page(1).palette, image_record(-image)->palette);
    screen(0);
    EXPECT_FALSE(screen_is_program_image());
    ASSERT_NE(image_record(-image), nullptr);
    EXPECT_FALSE(image_record(-image)->flags & image_is_screen_page);
    EXPECT_EQ(error_of([&] { free_image(image, true); }), 0);

    EXPECT_EQ(error_of([] { set_screen_mode(-1, 0, 0, 0, 0, 1); }), 258);
    EXPECT_EQ(error_of([] { set_screen_mode(INT_MIN, 0, 0, 0, 0, 1); }), 258);
    // A page that the change would free cannot become the screen.
    EXPECT_EQ(error_of([] { set_screen_mode(-page_handle(3), 0, 0, 0, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { set_screen_mode(-page_handle(0), 0, 0, 0, 0, 1); }), 0);
    expect_text_pages(80, 25, 16, 4096);
}

TEST_F(ScreenMode, TextSizeSwitchesFontsInPixelModes) {
    screen(12);
    pages(1, 1, 4);
    page(0).fg_colour = 12;
    page(0).gfx.window_x2 = 99.0f;
    page(0).gfx.coord_mode = 2;
    page(0).pixels[5] = 7;
    set_text_size(0, 80, 60, 3);
    // Pages above 0 are gone; display, dest and source fall back to page 0.
    EXPECT_EQ(page_handle(1), 0);
    EXPECT_EQ(display_image(), &page(0));
    EXPECT_EQ(dest_image(), &page(0));
    EXPECT_EQ(page(0).font, 8u);
    EXPECT_EQ(page(0).view_bottom_row, 59);
    EXPECT_EQ(page(0).fg_colour, 12u);
    EXPECT_FLOAT_EQ(page(0).gfx.window_x2, 99.0f);
    EXPECT_EQ(page(0).gfx.coord_mode, 0);
    EXPECT_EQ(page(0).pixels[5], 0);
    // The same font again: nothing happens. Columns alone keep the small cells.
    page(0).pixels[5] = 7;
    set_text_size(0, 80, 60, 3);
    set_text_size(0, 80, 0, 1);
    EXPECT_EQ(page(0).pixels[5], 7);
    EXPECT_EQ(page(0).font, 8u);
    set_text_size(0, 0, 30, 2);
    EXPECT_EQ(page(0).font, 16u);
    // The old 80 x 60 text size carries the small font into the next 640 x 480 mode.
    set_text_size(0, 80, 60, 3);
    screen(11);
    EXPECT_EQ(page(0).font, 8u);

    screen(9);
    set_text_size(0, 0, 43, 2);
    EXPECT_EQ(page(0).font, 8u);
    set_text_size(0, 80, 25, 3);
    EXPECT_EQ(page(0).font, 14u);
    EXPECT_EQ(error_of([] { set_text_size(0, 100, 0, 1); }), 5);
    EXPECT_EQ(error_of([] { set_text_size(0, 0, 31, 2); }), 5);
    EXPECT_EQ(page(0).mode, 9);
}

TEST_F(ScreenMode, TextSizeFromPixelModesSetsModeZero) {
    screen(12);  // 80 x 30 with font 16
    set_text_size(0, 40, 0, 1);
    expect_text_pages(40, 25, 17, 2048);
    screen(9);
    set_text_size(0, 40, 43, 3);
    expect_text_pages(40, 43, 15, 3440);
    // Rows alone take the columns of the old screen: 320 pixels are 40 columns.
    screen(13);
    set_text_size(0, 0, 50, 2);
    expect_text_pages(40, 50, 9, 4000);
    screen(12);
    set_text_size(0, 0, 43, 2);
    expect_text_pages(80, 43, 14, 6880);
    screen(13);
    set_text_size(0, 40, 50, 3);  // 320 = 40 x 8 but 200 is not 50 rows of any font
    expect_text_pages(40, 50, 9, 4000);
}

TEST_F(ScreenMode, NoArgumentCrashesTheStatements) {
    const int32_t values[] = {INT_MIN, -70000, -2, -1, 0, 1, 2, 3, 13, 14, 40, 50, 256, 4096, 65535, INT_MAX};
    for (int32_t a : values) {
        for (int32_t b : values) {
            error_code = 0;
            set_screen_mode(a, 0, b, b, 0, 0xF);
            error_code = 0;
            set_text_size(0, a, b, 3);
            error_code = 0;
            copy_page(a, b);
            error_code = 0;
            set_dest(a);
            set_source(b);
            error_code = 0;
            free_image(a, true);
        }
    }
    error_code = 0;
    ASSERT_NE(display_image(), nullptr);
    EXPECT_EQ(display_image(), image_record(display_image_handle()));
    EXPECT_TRUE(display_image()->flags & image_is_screen_page);
    EXPECT_NE(dest_image(), nullptr);
}

TEST_F(ScreenMode, ModeChangeWaitsForTheEventThreadToPause) {
    threads_started = 1;
    auto_display = 1;
    std::atomic<bool> acknowledged{false};
    std::thread event_thread([&] {
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (display_pause_state.load() != 1)
            if (std::chrono::steady_clock::now() > give_up) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        acknowledged = true;
        display_pause_state = 2;
    });
    screen(12);
    EXPECT_TRUE(acknowledged.load());
    EXPECT_EQ(display_pause_state.load(), 0);
    event_thread.join();
    // A page change alone does not wait for the event thread.
    pages(1, 1, 4);
    EXPECT_EQ(display_pause_state.load(), 0);
}

TEST_F(ScreenMode, ThePauseGivesUpAtShutdownOrWithoutRefresh) {
    threads_started = 1;
    stop_threads = 1;
    screen(13);
    EXPECT_EQ(page(0).mode, 13);
    EXPECT_EQ(display_pause_state.load(), 0);
    stop_threads = 0;
    std::thread turn_off([] {
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (display_pause_state.load() != 1 && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
        auto_display = 0;
    });
    screen(12);
    turn_off.join();
    EXPECT_EQ(page(0).mode, 12);
    EXPECT_EQ(display_pause_state.load(), 0);
}

}  // namespace
