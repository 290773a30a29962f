// The refresh: known pages rendered to the dummy driver's surface, read back
// pixel by pixel, with the blink and cursor phases and full-screen placement.
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/refresh_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include <SDL.h>
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        flags_reset();
        low_memory_clear();
        fonts_startup();
        images_startup();
    }
    void TearDown() override {
        display_shutdown();
        SDL_Quit();
    }
    static uint32_t pixel(int x, int y) {
        SDL_Surface* s = display_surface();
        return static_cast<uint32_t*>(s->pixels)[y * (s->pitch / 4) + x] & 0xFFFFFF;
    }
    static void put_cell(int col, int row, int columns, uint8_t ch, uint8_t attr) {
        uint8_t* cell = low_memory() + low_text_pages + (row * columns + col) * 2;
        cell[0] = ch;
        cell[1] = attr;
    }
    // Runs frames until the frame counter's given bit equals `on`.
    static void refresh_until_phase(uint32_t bit, bool on) {
        for (int i = 0; i < 32; ++i) {
            display_refresh();
            if (((display_frame_counter() & bit) != 0) == on) return;
        }
        FAIL() << "phase never reached";
    }
    // Runs frames up to the first frame of the phase's on half.
    static void refresh_to_phase_start(uint32_t bit) {
        refresh_until_phase(bit, false);
        refresh_until_phase(bit, true);
    }
    static std::vector<uint32_t> surface_pixels() {
        SDL_Surface* s = display_surface();
        std::vector<uint32_t> all;
        for (int y = 0; y < s->h; ++y)
            for (int x = 0; x < s->w; ++x) all.push_back(pixel(x, y));
        return all;
    }
};

TEST_F(Refresh, StartUpScreenIs640x400AndBlack) {
    display_refresh();
    SDL_Surface* s = display_surface();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 640);
    EXPECT_EQ(s->h, 400);
    for (int y = 0; y < 400; y += 7)
        for (int x = 0; x < 640; x += 5) ASSERT_EQ(pixel(x, y), 0u) << x << "," << y;
}

TEST_F(Refresh, CellsTakeGlyphAndPaletteColours) {
    put_cell(0, 0, 80, 219, 0x1E);  // full block, yellow on blue
    put_cell(1, 0, 80, ' ', 0x1E);  // blank cell shows only background
    put_cell(79, 24, 80, 219, 0x04);
    display_refresh();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(pixel(x, y), 0xFFFF55u);
            ASSERT_EQ(pixel(8 + x, y), 0x0000AAu);
        }
    EXPECT_EQ(pixel(79 * 8, 24 * 16), 0xAA0000u);
    EXPECT_EQ(pixel(639, 399), 0xAA0000u);
    EXPECT_EQ(pixel(16, 0), 0u);
}

TEST_F(Refresh, ChangedCellsAreRedrawnAndOthersKept) {
    display_refresh();
    put_cell(5, 3, 80, 219, 0x0F);
    display_refresh();
    EXPECT_EQ(pixel(5 * 8 + 3, 3 * 16 + 8), 0xFFFFFFu);
    put_cell(5, 3, 80, ' ', 0x0F);
    display_refresh();
    EXPECT_EQ(pixel(5 * 8 + 3, 3 * 16 + 8), 0u);
}

TEST_F(Refresh, FortyColumnsDoubleEachGlyphPixel) {
    set_text_size(0, 40, 25, 3);
    ASSERT_EQ(error_code.load(), 0);
    put_cell(0, 0, 40, 'A', 0x07);
    display_refresh();
    SDL_Surface* s = display_surface();
    ASSERT_EQ(s->w, 640);
    ASSERT_EQ(s->h, 400);
    const uint8_t* glyph = glyphs_8x16() + 'A' * 128;
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t want = glyph[y * 8 + x] ? 0xAAAAAAu : 0u;
            ASSERT_EQ(pixel(2 * x, y), want);
            ASSERT_EQ(pixel(2 * x + 1, y), want);
            ink += glyph[y * 8 + x] != 0;
        }
    EXPECT_GT(ink, 10);
}

TEST_F(Refresh, BlinkingCellAlternatesEveryEightFrames) {
    put_cell(0, 0, 80, 219, 0x8F);  // blinking white block on black
    refresh_until_phase(8, false);
    EXPECT_EQ(pixel(3, 3), 0xFFFFFFu);
    refresh_until_phase(8, true);
    EXPECT_EQ(pixel(3, 3), 0u);
    refresh_until_phase(8, false);
    EXPECT_EQ(pixel(3, 3), 0xFFFFFFu);
}

TEST_F(Refresh, DefaultCursorIsLine14OfA16LineCell) {
    ImageRec* page = display_image();
    ASSERT_NE(page, nullptr);
    page->cursor_visible = 1;
    page->cursor_col = 3;
    page->cursor_row = 2;
    refresh_until_phase(4, true);
    const int x0 = 2 * 8, y0 = 1 * 16;
    EXPECT_EQ(pixel(x0, y0 + 14), 0xAAAAAAu);
    EXPECT_EQ(pixel(x0 + 7, y0 + 14), 0xAAAAAAu);
    EXPECT_EQ(pixel(x0, y0 + 13), 0u);
    EXPECT_EQ(pixel(x0, y0 + 15), 0u);
    refresh_until_phase(4, false);
    EXPECT_EQ(pixel(x0, y0 + 14), 0u);
}

TEST_F(Refresh, MovedCursorLeavesNoTrace) {
    ImageRec* page = display_image();
    page->cursor_visible = 1;
    page->cursor_col = 1;
    page->cursor_row = 1;
    refresh_until_phase(4, true);
    ASSERT_EQ(pixel(0, 14), 0xAAAAAAu);
    page->cursor_col = 10;
    display_refresh();
    EXPECT_EQ(pixel(0, 14), 0u);
}

TEST_F(Refresh, HiddenCursorLeavesNoTraceAndAReshapedOneIsRedrawn) {
    ImageRec* page = display_image();
    page->cursor_visible = 1;
    page->cursor_col = 1;
    page->cursor_row = 1;
    refresh_to_phase_start(4);
    ASSERT_EQ(pixel(0, 14), 0xAAAAAAu);
    page->cursor_visible = 0;
    display_refresh();
    EXPECT_EQ(pixel(0, 14), 0u);
    page->cursor_visible = 1;
    refresh_to_phase_start(4);
    page->cursor_start_line = 0;  // a full block, lines 0-15
    page->cursor_stop_line = 7;
    display_refresh();
    EXPECT_EQ(pixel(0, 0), 0xAAAAAAu);
    EXPECT_EQ(pixel(7, 15), 0xAAAAAAu);
}

TEST_F(Refresh, PaletteChangeRedrawsEveryCell) {
    display_refresh();
    ImageRec* page = display_image();
    page->palette[0] = 0xFF123456;
    display_refresh();
    EXPECT_EQ(pixel(0, 0), 0x123456u);
    EXPECT_EQ(pixel(639, 399), 0x123456u);
}

TEST_F(Refresh, Mode13PageOpensItsOwnSizeAndConvertsThroughPalette) {
    set_screen_mode(13, 0, 0, 0, 0, 1);
    ASSERT_EQ(error_code.load(), 0);
    low_memory()[low_graphics_page + 5 * 320 + 7] = 4;
    display_refresh();
    SDL_Surface* s = display_surface();
    ASSERT_EQ(s->w, 320);
    ASSERT_EQ(s->h, 200);
    EXPECT_EQ(pixel(7, 5), 0xAA0000u);
    EXPECT_EQ(pixel(8, 5), 0u);
    low_memory()[low_graphics_page + 199 * 320 + 319] = 40;
    display_refresh();
    EXPECT_EQ(pixel(319, 199), 0xFF0000u);
}

// Every kind of pixel page shows a change in any row, and a palette change in
// rows that did not change.
TEST_F(Refresh, PixelPagesShowEveryChangedRow) {
    for (int mode : {13, 12, 32}) {
        if (mode == 32)
            set_screen_mode(new_image(64, 48, 32, true), 0, 0, 0, 0, 1);
        else
            set_screen_mode(mode, 0, 0, 0, 0, 1);
        ASSERT_EQ(error_code.load(), 0);
        ImageRec* page = display_image();
        const int w = page->width, h = page->height;
        display_refresh();
        for (int y : {0, h / 2, h - 1}) {
            if (mode == 32)
                reinterpret_cast<uint32_t*>(page->pixels)[y * w + w - 1] = 0xFF00FF00u;
            else
                page->pixels[y * w + w - 1] = 4;
            display_refresh();
            ASSERT_EQ(pixel(w - 1, y), mode == 32 ? 0x00FF00u : 0xAA0000u) << mode << " row " << y;
            ASSERT_EQ(pixel(w - 2, y), 0u) << mode << " row " << y;
        }
        if (mode == 32) continue;
        set_palette_entry(0, 0x3F, true);  // entry 0 becomes red
        display_refresh();
        EXPECT_EQ(pixel(0, 1), 0xFF0000u) << mode;
    }
}

// A still screen is not sent to the window again, in any kind of page, even
// with an overlay installed (the error box's is, from start-up on); a change
// is sent once, and an overlay that draws is sent every frame and leaves no
// trace when it stops.
std::atomic<bool> OverlayDraws{false};
bool test_overlay(SDL_Surface* surface) {
    if (!OverlayDraws.load()) return false;
    static_cast<uint32_t*>(surface->pixels)[0] = 0x00FFFF;
    return true;
}

TEST_F(Refresh, StillFramesAreNotPresentedAgain) {
    display_set_overlay(test_overlay);
    for (int mode : {0, 13, 12, 32}) {
        if (mode == 32)
            set_screen_mode(new_image(64, 48, 32, true), 0, 0, 0, 0, 1);
        else
            set_screen_mode(mode, 0, 0, 0, 0, 1);
        ASSERT_EQ(error_code.load(), 0);
        ImageRec* page = display_image();
        auto frames_presented = [](int frames) {
            const uint32_t before = display_presented_frames();
            for (int i = 0; i < frames; ++i) display_refresh();
            return display_presented_frames() - before;
        };
        frames_presented(2);
        EXPECT_EQ(frames_presented(20), 0u) << "mode " << mode;
        if (mode == 0)
            page->pixels[2 * 81] = 'A';
        else if (mode == 32)
            reinterpret_cast<uint32_t*>(page->pixels)[65] = 0xFF00FF00u;
        else
            page->pixels[page->width + 1] = 4;
        EXPECT_EQ(frames_presented(20), 1u) << "mode " << mode;
        OverlayDraws = true;
        EXPECT_EQ(frames_presented(5), 5u) << "mode " << mode;
        EXPECT_EQ(pixel(0, 0), 0x00FFFFu) << "mode " << mode;
        OverlayDraws = false;
        EXPECT_EQ(frames_presented(20), 1u) << "mode " << mode;
        EXPECT_EQ(pixel(0, 0), 0u) << "mode " << mode;
    }
    display_set_overlay(nullptr);
}

TEST_F(Refresh, MonochromeBlinkColoursStayOutOfTheProgramsPalette) {
    set_screen_mode(10, 0, 0, 0, 0, 1);
    ImageRec* page = display_image();
    const std::vector<uint32_t> program_entries(page->palette, page->palette + 8);
    page->pixels[0] = 2;  // entry 6 of the blink table: white blinking to black
    for (int tries = 0; tries < 10; ++tries) {
        const uint32_t phase = SDL_GetTicks() & 512;
        display_refresh();
        if ((SDL_GetTicks() & 512) != phase) continue;
        EXPECT_EQ(pixel(0, 0), mono_blink_colour(phase != 0, 6) & 0xFFFFFF);
        break;
    }
    EXPECT_EQ(std::vector<uint32_t>(page->palette, page->palette + 8), program_entries);
}

TEST_F(Refresh, PrivateBufferCarriesEveryChangedRowToTheSurface) {
    display_force_private_buffer(true);
    put_cell(0, 0, 80, 219, 0x0F);
    display_refresh();
    EXPECT_EQ(pixel(0, 0), 0xFFFFFFu);
    put_cell(79, 24, 80, 219, 0x0E);
    display_refresh();
    EXPECT_EQ(pixel(639, 399), 0xFFFF55u);
    EXPECT_EQ(pixel(0, 0), 0xFFFFFFu);
    display_force_private_buffer(false);
}

// The program thread prints, scrolls, blanks and changes the palette while
// frames are drawn; once it stops, the next frame is what a full redraw gives.
TEST_F(Refresh, FramesDrawnDuringWritesCatchUpWithThePage) {
    for (int mode : {0, 13}) {
        set_screen_mode(mode, 0, 0, 0, 0, 1);
        ImageRec& page = *dest_image();
        const int rows = text_geometry(page).rows;
        display_refresh();
        std::atomic<bool> done{false};
        std::atomic<int> frames{0};
        std::thread program([&] {
            for (int i = 0; frames.load() < 200; ++i) {
                set_cursor_position(1 + i % rows, 1 + i % 40, 0, 0, 0, 3);
                page.fg_colour = 1 + i % 15;
                put_glyph_at_cursor('A' + i % 26);
                if (i % 97 == 0) {
                    text_scroll_up(page, 1, rows);
                    text_blank_rows(page, rows, rows, 0x17, 1);
                }
                if (i % 301 == 0) set_palette_entry(1, mode == 0 ? i % 64 : i % 64 * 0x10101, true);
            }
            done = true;
        });
        while (!done.load()) {
            display_refresh();
            frames.fetch_add(1);
        }
        program.join();
        ASSERT_EQ(error_code.load(), 0);
        display_refresh();
        const std::vector<uint32_t> caught_up = surface_pixels();
        display_invalidate();
        display_refresh();
        ASSERT_EQ(caught_up, surface_pixels()) << "mode " << mode;
    }
}

TEST(PrivateBufferRows, ReachTheSurfaceThroughItsOwnMasks) {
    struct Format {
        int bits;
        uint32_t r, g, b, a;
    } formats[] = {
        {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},
        {32, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF},
        {24, 0x0000FF, 0x00FF00, 0xFF0000, 0},
        {16, 0xF800, 0x07E0, 0x001F, 0},
    };
    const uint32_t colours[] = {0x000000, 0xFFFFFF, 0x123456, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0xA5C3E1};
    constexpr int w = 8, h = 3;
    std::vector<uint32_t> buffer(w * h);
    for (int i = 0; i < w * h; ++i) buffer[i] = colours[i % 8] ^ (i / 8) * 0x010101;
    for (const Format& f : formats) {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, f.bits, f.r, f.g, f.b, f.a);
        ASSERT_NE(s, nullptr);
        std::memset(s->pixels, 0, size_t(s->pitch) * h);
        display_private_rows_to_surface(buffer.data(), s, 1, h);
        const int bytes = s->format->BytesPerPixel;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t c = buffer[y * w + x], got = 0;
                std::memcpy(&got, static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * bytes, bytes);
                uint32_t want = y == 0 ? 0 : SDL_MapRGB(s->format, c >> 16, (c >> 8) & 0xFF, c & 0xFF);
                ASSERT_EQ(got, want) << f.bits << "-bit, pixel " << x << "," << y;
            }
        SDL_FreeSurface(s);
    }
}

TEST_F(Refresh, FullScreenDoublesSmallPagesAndCentresThem) {
    display_set_video_modes({{640, 480}, {800, 600}, {1024, 768}, {1280, 720}});
    set_screen_mode(13, 0, 0, 0, 0, 1);
    low_memory()[low_graphics_page] = 15;
    display_store_full_screen_request(1);
    display_refresh();
    ASSERT_EQ(get_full_screen(), 1);
    SDL_Surface* s = display_surface();
    ASSERT_EQ(s->w, 640);
    ASSERT_EQ(s->h, 480);
    EXPECT_EQ(pixel(0, 40), 0xFFFFFFu);
    EXPECT_EQ(pixel(1, 41), 0xFFFFFFu);
    EXPECT_EQ(pixel(2, 40), 0u);
    EXPECT_EQ(pixel(0, 39), 0u);
    EXPECT_EQ(display_full_screen_request(), -1);
}

// The window system scales the window by the factor MORV_SCALE chose, and
// full screen by none of ours; the surface stays the page's size throughout.
TEST_F(Refresh, WindowScaleComesBackAfterFullScreen) {
    setenv("MORV_SCALE", "3", 1);
    window_scale_prepare();
    unsetenv("MORV_SCALE");
    auto variable = [] { return std::string(getenv("SDL12COMPAT_WINDOW_SCALING")); };
    EXPECT_EQ(std::string(getenv("SDL12COMPAT_SCALE_METHOD")), "nearest");
    display_set_video_modes({{640, 480}, {800, 600}});
    display_refresh();
    EXPECT_EQ(window_scale(), 3);
    EXPECT_EQ(variable(), "3");
    EXPECT_EQ(display_surface()->w, 640);
    display_store_full_screen_request(1);
    display_refresh();
    ASSERT_EQ(get_full_screen(), 1);
    EXPECT_EQ(window_scale(), 1);
    EXPECT_EQ(variable(), "1");
    display_store_full_screen_request(0);
    display_refresh();
    ASSERT_EQ(get_full_screen(), 0);
    EXPECT_EQ(window_scale(), 3);
    EXPECT_EQ(variable(), "3");
    EXPECT_EQ(display_surface()->w, 640);
    EXPECT_EQ(display_surface()->h, 400);
    window_scale_prepare();  // back to the fit, which knows no desktop here
    display_invalidate();
    set_screen_mode(13, 0, 0, 0, 0, 1);
    display_refresh();
    EXPECT_EQ(window_scale(), 1);
}

TEST_F(Refresh, AltEnterCyclesWindowFullScreenAndBack) {
    // 800 x 450 wastes least; 1024 x 768 is the best 4:3 mode.
    display_set_video_modes({{1024, 768}, {800, 450}});
    display_refresh();
    display_cycle_full_screen();
    display_refresh();
    EXPECT_EQ(get_full_screen(), 1);
    EXPECT_EQ(display_surface()->w, 800);
    display_cycle_full_screen();
    display_refresh();
    EXPECT_EQ(get_full_screen(), 2);
    EXPECT_EQ(display_surface()->w, 1024);
    display_cycle_full_screen();
    display_refresh();
    EXPECT_EQ(get_full_screen(), 0);
    EXPECT_EQ(display_surface()->w, 640);
}

TEST_F(Refresh, WithoutADistinctFourThreeModeTheCycleReturnsToTheWindow) {
    display_set_video_modes({{1024, 768}});
    display_cycle_full_screen();
    display_cycle_full_screen();
    display_refresh();
    EXPECT_EQ(get_full_screen(), 1);
    display_refresh();
    EXPECT_EQ(get_full_screen(), 0);
}

TEST_F(Refresh, PauseRequestIsAcknowledgedAndNothingIsDrawn) {
    display_pause_state = 1;
    put_cell(0, 0, 80, 219, 0x0F);
    display_refresh();
    EXPECT_EQ(display_pause_state.load(), 2);
    EXPECT_EQ(display_surface(), nullptr);
    display_pause_state = 0;
    display_refresh();
    EXPECT_EQ(pixel(0, 0), 0xFFFFFFu);
}

TEST_F(Refresh, RequestDisplayDrawsOnceAndLeavesAutomaticRefreshOff) {
    auto_display = 0;
    put_cell(0, 0, 80, 219, 0x0F);
    request_display();
    ASSERT_NE(display_surface(), nullptr);
    EXPECT_EQ(pixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(auto_display.load(), 0);
    auto_display_on();
    EXPECT_EQ(auto_display.load(), 1);
}

TEST_F(Refresh, OnceModeDropsToOffAfterAFrame) {
    auto_display = -1;
    display_refresh();
    EXPECT_EQ(auto_display.load(), 0);
}

// The window's zoom: the largest whole factor at which the frame fits in 90 %
// of the desktop, 1 when the desktop is unknown or too small.
TEST(WindowScale, LargestFactorFittingNinetyPercentOfTheDesktop) {
    struct Case {
        int width, height, desktop_width, desktop_height, factor;
    } cases[] = {
        {640, 400, 1024, 768, 1},  {640, 400, 1920, 1080, 2},
        {640, 400, 3840, 2160, 4}, {640, 480, 1920, 1080, 2},
        {640, 480, 1920, 1066, 1}, {320, 200, 1024, 768, 2},
        {320, 200, 3840, 2160, 9}, {1024, 768, 1920, 1080, 1},
        {640, 400, 711, 444, 1},   {640, 400, 1423, 889, 2},
        {640, 400, 1422, 889, 1},  {640, 400, 0, 0, 1},
        {0, 0, 1920, 1080, 1},     {1, 1, 100000, 100000, window_scale_max},
    };
    for (const Case& c : cases)
        EXPECT_EQ(window_scale_fitting(c.width, c.height, c.desktop_width, c.desktop_height), c.factor)
            << c.width << "x" << c.height << " on " << c.desktop_width << "x" << c.desktop_height;
    struct Word {
        const char* text;
        int factor;
    } words[] = {{"1", 1},   {"2", 2},  {"16", 16}, {"17", 0}, {"0", 0},     {"-2", 0},
                 {"1.5", 0}, {"2x", 0}, {" 2", 0},  {"", 0},   {nullptr, 0}, {"0002", 0}};
    for (const Word& w : words) EXPECT_EQ(window_scale_parse(w.text), w.factor) << (w.text ? w.text : "(none)");
}

// A surface pixel in a scaled window, or full screen between bars, is the
// middle of its block; a window of its own size is the pixel itself.
TEST(WindowScale, SurfacePixelsInTheWindow) {
    struct Case {
        int x, y, surface_w, surface_h, window_w, window_h, want_x, want_y;
    } cases[] = {
        {100, 50, 320, 200, 1280, 800, 402, 202}, {7, 9, 640, 400, 640, 400, 7, 9},
        {0, 0, 640, 480, 1920, 1080, 241, 1},     {639, 479, 640, 480, 1920, 1080, 1678, 1078},
        {0, 0, 640, 400, 1280, 1024, 1, 113},     {5, 6, 640, 400, 0, 0, 5, 6},
    };
    for (const Case& c : cases) {
        const WindowPoint at = window_point_of(c.x, c.y, c.surface_w, c.surface_h, c.window_w, c.window_h);
        EXPECT_EQ(at.x, c.want_x) << c.x << "," << c.y << " in " << c.window_w << "x" << c.window_h;
        EXPECT_EQ(at.y, c.want_y) << c.x << "," << c.y << " in " << c.window_w << "x" << c.window_h;
    }
}

TEST(CursorShape, TableOfStartAndStopLines) {
    struct Case {
        int s, e, h, first, last;
    } cases[] = {
        {0, 0, 16, 0, 0},   {3, 0, 16, 1, 0},   {5, 2, 16, 2, 15},  {5, 2, 8, 2, 7},    {2, 2, 16, 2, 2},
        {4, 4, 16, 14, 14}, {4, 4, 8, 7, 7},    {6, 6, 14, 13, 13}, {0, 3, 16, 0, 3},   {1, 2, 8, 1, 2},
        {0, 7, 16, 0, 15},  {1, 13, 14, 1, 13}, {2, 3, 16, 2, 3},   {2, 4, 16, 12, 14}, {2, 4, 8, 5, 7},
        {2, 9, 16, 2, 15},  {6, 7, 16, 13, 14}, {6, 7, 8, 6, 7},    {6, 8, 16, 12, 14}, {3, 9, 16, 8, 15},
        {3, 9, 8, 4, 7},    {3, 2, 2, 1, 0},
    };
    for (const Case& c : cases) {
        CursorLines l = cursor_lines(c.s, c.e, c.h);
        if (c.first > c.last) {
            EXPECT_GT(l.first, l.last) << c.s << "," << c.e << " h=" << c.h;
        } else {
            EXPECT_EQ(l.first, c.first) << c.s << "," << c.e << " h=" << c.h;
            EXPECT_EQ(l.last, c.last) << c.s << "," << c.e << " h=" << c.h;
        }
    }
}

}  // namespace
