// Image handles, creation per mode, new_image, free_image, selection and copy_page.
#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/lowmem.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"
#include "display/display_fixture.h"

namespace {

class Images : public DisplayFixture {};

TEST_F(Images, ReservedHandlesAreNeverValid) {
    EXPECT_EQ(image_record(0), nullptr);
    EXPECT_EQ(image_record(1), nullptr);
    EXPECT_FALSE(image_release_handle(0));
    EXPECT_FALSE(image_release_handle(1));
    EXPECT_FALSE(image_release_handle(-5));
    EXPECT_FALSE(image_release_handle(INT_MAX));
    // The eight start-up pages take handles 2 to 9.
    EXPECT_EQ(page_handle(0), 2);
    EXPECT_EQ(new_image(10, 10, 13, true), -10);
}

TEST_F(Images, HandlesAreReusedLastReleasedFirst) {
    int32_t a = new_image(4, 4, 13, true), b = new_image(4, 4, 13, true), c = new_image(4, 4, 13, true);
    free_image(a, true);
    free_image(c, true);
    EXPECT_EQ(image_record(-a), nullptr);
    EXPECT_FALSE(image_release_handle(-a));  // already released
    EXPECT_EQ(new_image(4, 4, 13, true), c);
    EXPECT_EQ(new_image(4, 4, 13, true), a);
    EXPECT_EQ(new_image(4, 4, 13, true), c - 1);  // then never-used indices again
    EXPECT_NE(image_record(-b), nullptr);
}

TEST_F(Images, TableGrowsWithoutMovingRecords) {
    ImageRec* page0 = image_record(page_handle(0));
    std::set<int32_t> handles;
    for (int i = 0; i < 9000; ++i) handles.insert(image_alloc_handle());
    EXPECT_EQ(handles.size(), 9000u);
    EXPECT_EQ(handles.count(0), 0u);
    EXPECT_EQ(image_record(page_handle(0)), page0);
    EXPECT_EQ(display_image(), page0);
    EXPECT_TRUE(image_release_handle(*handles.rbegin()));
}

struct ModeExpectation {
    int32_t mode;
    uint8_t bits, bytes;
    uint32_t mask, font, fg, bg;
};

TEST_F(Images, CreationFollowsTheModeTable) {
    const ModeExpectation table[] = {
        {0, 16, 2, 0xFFFF, 16, 7, 0}, {1, 2, 1, 3, 8, 3, 0},       {2, 1, 1, 1, 8, 1, 0},
        {7, 4, 1, 15, 8, 15, 0},      {8, 4, 1, 15, 8, 15, 0},     {9, 4, 1, 15, 14, 15, 0},
        {10, 2, 1, 3, 14, 3, 0},      {11, 1, 1, 1, 16, 1, 0},     {12, 4, 1, 15, 16, 15, 0},
        {13, 8, 1, 255, 8, 15, 0},    {256, 8, 1, 255, 16, 15, 0}, {32, 32, 4, 0xFFFFFFFF, 16, 0xFFFFFFFF, 0xFF000000},
    };
    for (const ModeExpectation& m : table) {
        SCOPED_TRACE(m.mode);
        ImageRec* rec = image_record(image_create(80, 64, m.mode));
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->bits_per_pixel, m.bits);
        EXPECT_EQ(rec->bytes_per_pixel, m.bytes);
        EXPECT_EQ(rec->colour_mask, m.mask);
        EXPECT_EQ(rec->font, m.font);
        EXPECT_EQ(rec->fg_colour, m.fg);
        EXPECT_EQ(rec->draw_colour, m.fg);
        EXPECT_EQ(rec->bg_colour, m.bg);
        EXPECT_EQ(rec->print_mode, 3);
        EXPECT_EQ(rec->is_text, m.mode == 0);
        EXPECT_EQ(rec->palette == nullptr, m.mode == 32);
        EXPECT_EQ(rec->transparent_colour, m.mode == 32 ? 0 : -1);
        EXPECT_EQ(rec->flags,
                  m.mode == 32 ? uint32_t{image_owns_pixels} : uint32_t{image_owns_palette | image_owns_pixels});
        EXPECT_EQ(rec->cursor_row, 1);
        EXPECT_EQ(rec->cursor_col, 1);
    }
}

TEST_F(Images, CreationDetails) {
    ImageRec& text = *image_record(image_create(40, 3, 0));
    EXPECT_EQ(text.font, 17u);  // 40 columns take the double-width cells
    EXPECT_EQ(text.view_bottom_row, 2);
    EXPECT_EQ(text.cursor_start_line, 4);
    for (int i = 0; i < 40 * 3; ++i) EXPECT_EQ(text.pixels[2 * i] | text.pixels[2 * i + 1] << 8, 0x0720);

    ImageRec& pixels = *image_record(image_create(641, 480, 12));
    EXPECT_EQ(pixels.view_bottom_row, 29);  // 480 / 16 rows, the last outside the view
    EXPECT_FLOAT_EQ(pixels.gfx.gfx_x, 320.0f);
    EXPECT_EQ(pixels.gfx.view_x2, 640);
    EXPECT_FLOAT_EQ(pixels.gfx.window_y2, 479.0f);
    EXPECT_FLOAT_EQ(pixels.gfx.scale_x, 1.0f);
    EXPECT_DOUBLE_EQ(pixels.gfx.draw_scale, 1.0);

    ImageRec& tiny = *image_record(image_create(8, 3, 13));
    EXPECT_EQ(tiny.view_bottom_row, 1);  // no whole row fits, the view keeps one

    ImageRec& cga = *image_record(image_create(8, 8, 1));
    EXPECT_EQ(cga.palette[1], text_palette16()[3]);
    EXPECT_EQ(cga.palette[3], text_palette16()[7]);
    ImageRec& ega = *image_record(image_create(8, 8, 9));
    EXPECT_EQ(ega.palette[6], ega64_palette()[20]);
    ImageRec& mono = *image_record(image_create(8, 8, 10));
    EXPECT_EQ(mono.palette[6], 6u);
}

TEST_F(Images, CreationRefusesWhatARecordCannotHold) {
    EXPECT_EQ(image_create(0, 5, 13), 0);
    EXPECT_EQ(image_create(5, -1, 13), 0);
    EXPECT_EQ(image_create(65536, 1, 13), 0);
    EXPECT_EQ(image_create(5, 5, 3), 0);
    EXPECT_EQ(image_create(5, 5, 14), 0);
    EXPECT_EQ(image_create_on_buffer(nullptr, 5, 5, -1), 0);
    // Beyond the buffer limit the creation fails like an allocation and frees its handle.
    int32_t next = new_image(1, 1, 13, true);
    free_image(next, true);
    EXPECT_EQ(image_create(65535, 65535, 32), 0);
    EXPECT_EQ(new_image(1, 1, 13, true), next);
}

TEST_F(Images, ReinitRestoresDefaultsAndClears) {
    int32_t h = image_create(16, 16, 13);
    ImageRec& rec = *image_record(h);
    rec.fg_colour = 3;
    rec.cursor_row = 2;
    rec.palette[0] = 0x123456;
    rec.pixels[17] = 9;
    rec.gfx.gfx_x = 1.0f;
    image_reinit(h);
    EXPECT_EQ(rec.width, 16);
    EXPECT_EQ(rec.fg_colour, 15u);
    EXPECT_EQ(rec.cursor_row, 1);
    EXPECT_EQ(rec.palette[0], vga256_palette()[0]);
    EXPECT_EQ(rec.pixels[17], 0);
    EXPECT_FLOAT_EQ(rec.gfx.gfx_x, 8.0f);
    EXPECT_EQ(rec.flags, uint32_t{image_owns_palette | image_owns_pixels});
    image_reinit(12345);  // an unknown handle is ignored
}

TEST_F(Images, NewImageInheritsFromTheDest) {
    set_screen_mode(13, 0, 0, 0, 0, 1);
    ImageRec& dest = *dest_image();
    dest.palette[200] = 0xFF010203;
    dest.fg_colour = 44;
    dest.bg_colour = 5;
    dest.transparent_colour = 9;
    dest.blend_disabled = 1;
    dest.print_mode = 1;
    ImageRec& copy = *image_record(-new_image(30, 20, 0, false));
    EXPECT_EQ(copy.mode, 13);
    EXPECT_EQ(copy.palette[200], 0xFF010203u);
    EXPECT_NE(copy.palette, dest.palette);
    EXPECT_EQ(copy.fg_colour, 44u);
    EXPECT_EQ(copy.draw_colour, 44u);
    EXPECT_EQ(copy.bg_colour, 5u);
    EXPECT_EQ(copy.transparent_colour, 9);
    EXPECT_EQ(copy.blend_disabled, 1);
    EXPECT_EQ(copy.print_mode, 1);
    EXPECT_EQ(copy.font, 8u);

    ImageRec& own = *image_record(-new_image(30, 20, 13, true));
    EXPECT_EQ(own.palette[200], vga256_palette()[200]);
    EXPECT_EQ(own.fg_colour, 15u);
    ImageRec& truecolour = *image_record(-new_image(30, 20, 32, true));
    EXPECT_EQ(truecolour.fg_colour, 0xFFFFFFFFu);
    EXPECT_EQ(truecolour.palette, nullptr);
}

TEST_F(Images, NewImageBadArguments) {
    const int32_t bad_sizes[][2] = {{0, 1}, {1, 0}, {-1, 5}, {INT_MIN, INT_MIN}, {65536, 1}, {1, INT_MAX}};
    for (auto& size : bad_sizes) {
        int32_t result = 1;
        EXPECT_EQ(error_of([&] { result = new_image(size[0], size[1], 13, true); }), 5);
        EXPECT_EQ(result, 0);
    }
    for (int32_t mode : {3, 4, 5, 6, 14, 31, 255, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(error_of([&] { new_image(8, 8, mode, true); }), 5) << mode;
    int32_t result = 0;
    EXPECT_EQ(error_of([&] { result = new_image(65535, 65535, 32, true); }), 0);
    EXPECT_EQ(result, -1);
    error_code = 5;  // a pending error makes the statement return at once
    EXPECT_EQ(new_image(8, 8, 13, true), 0);
}

TEST_F(Images, FreeImageAndTheSelection) {
    int32_t a = new_image(8, 8, 0, false);
    int32_t b = new_image(8, 8, 0, false);
    set_dest(a);
    set_source(a);
    free_image(0, false);  // without an argument the dest is meant
    EXPECT_EQ(image_record(-a), nullptr);
    EXPECT_EQ(get_dest(), get_display());
    EXPECT_EQ(get_source(), get_display());

    set_source(b);
    free_image(b, true);
    EXPECT_EQ(get_source(), get_display());

    EXPECT_EQ(error_of([] { free_image(0, false); }), 5);  // the dest is a screen page now
    EXPECT_EQ(error_of([] { free_image(3, true); }), 5);
    EXPECT_EQ(error_of([&] { free_image(get_display(), true); }), 5);
    EXPECT_EQ(error_of([&] { free_image(b, true); }), 258);
    EXPECT_EQ(error_of([] { free_image(-1, true); }), 258);
    EXPECT_EQ(error_of([] { free_image(INT_MIN, true); }), 258);
    EXPECT_EQ(error_of([] { free_image(-1000000, true); }), 258);
}

TEST_F(Images, FreeAllKeepsThePages) {
    int32_t a = new_image(8, 8, 13, true);
    new_image(8, 8, 32, true);
    set_dest(a);
    free_all_program_images();
    EXPECT_EQ(image_record(-a), nullptr);
    EXPECT_EQ(get_dest(), get_display());
    for (int n = 0; n < 8; ++n) EXPECT_NE(image_record(page_handle(n)), nullptr);
}

TEST_F(Images, SelectionByHandleAndPage) {
    EXPECT_EQ(get_display(), -page_handle(0));
    EXPECT_EQ(error_of([] { set_dest(-1); }), 258);
    EXPECT_EQ(error_of([] { set_source(INT_MIN); }), 258);
    EXPECT_EQ(error_of([] { set_dest(INT_MAX); }), 5);
    EXPECT_EQ(get_dest(), get_display());
    set_dest(5);
    EXPECT_EQ(get_dest(), -page_handle(5));
    EXPECT_EQ(get_display(), -page_handle(0));
    int32_t a = new_image(8, 8, 13, true);
    set_source(a);
    EXPECT_EQ(get_source(), a);
    EXPECT_EQ(source_image(), image_record(-a));
}

TEST_F(Images, CopyPageChecksGeometry) {
    // Text pages live in low memory: page 1 starts 4096 bytes after 0xB8000.
    image_record(page_handle(0))->pixels[0] = 'M';
    copy_page(0, 1);
    EXPECT_EQ(low_memory()[low_text_pages + 4096], 'M');

    int32_t four = new_image(10, 10, 12, true), eight = new_image(10, 10, 13, true);
    int32_t wide = new_image(11, 10, 13, true), deep = new_image(10, 10, 32, true);
    image_record(-four)->pixels[99] = 15;
    copy_page(four, eight);  // a wider colour mask can take the pixels
    EXPECT_EQ(image_record(-eight)->pixels[99], 15);
    image_record(-eight)->pixels[0] = 200;
    EXPECT_EQ(error_of([&] { copy_page(eight, four); }), 5);
    EXPECT_EQ(image_record(-four)->pixels[0], 0);
    EXPECT_EQ(error_of([&] { copy_page(eight, wide); }), 5);
    EXPECT_EQ(error_of([&] { copy_page(eight, deep); }), 5);
    EXPECT_EQ(error_of([&] { copy_page(eight, 0); }), 5);
    EXPECT_EQ(error_of([&] { copy_page(-1, eight); }), 5);
    EXPECT_EQ(error_of([&] { copy_page(eight, INT_MIN); }), 5);
    EXPECT_EQ(error_of([&] { copy_page(eight, eight); }), 0);
    EXPECT_EQ(error_of([] { copy_page(0, 7); }), 0);
}

}  // namespace
