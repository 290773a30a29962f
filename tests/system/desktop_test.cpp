// The desktop services without a display: clipboard conversions, the typed
// keys, the click's scaling, the page scaling, image_print's checks and the
// printer page's timing through a stand-in print command.
#include <gtest/gtest.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include "display/display_fixture.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/system/capture.h"
#include "runtime/system/clipboard.h"
#include "runtime/system/clipboard_internal.h"
#include "runtime/system/inject.h"
#include "runtime/system/inject_internal.h"
#include "runtime/system/print_page.h"
#include "runtime/system/print_page_internal.h"
#include "runtime/system/printer.h"
#include "runtime/system/printer_internal.h"
#include "runtime/display/images_internal.h"

namespace {

TEST(ClipboardText, ConvertsThroughTheCodePageAndKeepsControlCharacters) {
    EXPECT_EQ(clipboard_cp437_to_utf8("Caf\x82\t\xc9\r\n"), "Café\t╔\r\n");
    EXPECT_EQ(clipboard_cp437_to_latin1("\x82\xc9"), "\xe9?");
    EXPECT_EQ(clipboard_utf8_to_cp437("Grüße ✓ ╔"),
              "Gr\x81\xe1"
              "e ? \xc9");
    EXPECT_EQ(clipboard_latin1_to_cp437("\xe9\xa0\x01"), "\x82\xff\x01");
    // Broken and overlong UTF-8 give one "?" a bad byte; text ends at a zero.
    EXPECT_EQ(clipboard_utf8_to_cp437("a\xc3(\xc0\xaf\xe2\x82"), "a?(????");
    EXPECT_EQ(clipboard_utf8_to_cp437(std::string("ab\0cd", 5)), "ab");
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(clipboard_utf8_to_cp437(clipboard_cp437_to_utf8(all)), all);
}

TEST(ClipboardText, WithoutADisplayIsKeptInTheProcessUpToAZero) {
    unsetenv("DISPLAY");
    strings_startup();
    clipboard_set_text(str_from_bytes("one\0two", 7));
    EXPECT_EQ(str_view(clipboard_get_text()), "one");
    EXPECT_EQ(screen_capture(), 0);
    mouse_click_inject(10, 10);
    keys_inject(str_lit("abc"));
}

TEST(KeysInject, TypesTheKeyBufferCodesAndSkipsTheRest) {
    struct Case {
        std::string bytes;
        std::vector<std::pair<uint32_t, uint8_t>> keys;
    } cases[] = {
        {"aZ ", {{'a', inject_shift_as_mapped}, {'Z', inject_shift_as_mapped}, {' ', inject_shift_as_mapped}}},
        {"\x08\x09\x0d", {{XK_BackSpace, 0}, {XK_Tab, 0}, {XK_Return, 0}}},
        {"\x01\x1a", {{'a', inject_ctrl}, {'z', inject_ctrl}}},
        {std::string("\0H\0\x0f\0G\0S", 8), {{XK_Up, 0}, {XK_Tab, inject_shift}, {XK_Home, 0}, {XK_Delete, 0}}},
        {std::string("\0;x", 3), {{'x', inject_shift_as_mapped}}},  // a pair without a key is taken whole
        {std::string("\x1b\x1f\x7f\x80\xff\0", 6), {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<uint32_t, uint8_t>> got;
        for (const InjectedKey& k : keys_inject_plan(c.bytes)) got.push_back({k.keysym, k.modifiers});
        EXPECT_EQ(got, c.keys) << "bytes of " << c.bytes.size();
    }
}

TEST(MouseClickInject, LandsOnThePixelGivenWithinTheDesktop) {
    for (int32_t x : {0, 1, 100, 511, 512, 1022, 1023}) EXPECT_EQ(mouse_inject_position(x, 1024), x);
    EXPECT_EQ(mouse_inject_position(-50, 1024), 0);
    EXPECT_EQ(mouse_inject_position(5000, 768), 767);
    EXPECT_EQ(mouse_inject_position(3, 0), 0);
}

TEST(PrintPage, ScalesCornerToCornerAndEncodesAsPpm) {
    // Two columns by one row onto five by three: the left half samples column 0.
    const uint32_t source[] = {0xFF112233, 0xFF445566};
    uint32_t page[15];
    print_page_scale(source, 2, 1, page, 5, 3);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(page[y * 5], source[0]);
        EXPECT_EQ(page[y * 5 + 1], source[0]);
        EXPECT_EQ(page[y * 5 + 3], source[1]);
        EXPECT_EQ(page[y * 5 + 4], source[1]);
    }
    EXPECT_EQ(print_page_encode(source, 2, 1), std::string("P6\n2 1\n255\n\x11\x22\x33\x44\x55\x66"));
}

class PrinterTest : public DisplayFixture {
protected:
    void SetUp() override {
        DisplayFixture::SetUp();
        strings_startup();
        folder = std::filesystem::temp_directory_path() / ("morv_print_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        setenv("MORV_PRINT_COMMAND", ("cat > '" + folder.string() + "/page.'$$").c_str(), 1);
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        DisplayFixture::TearDown();
    }
    // Waits for the stand-in to have written `count` whole pages.
    bool pages(size_t count) {
        auto done = [&] {
            size_t whole = 0;
            for (auto& f : std::filesystem::directory_iterator(folder))
                if (f.file_size() == 17 + size_t{print_page_width} * print_page_height * 3) ++whole;
            return whole == count;
        };
        return wait_until(program_wakeup, done, 5000, 20);
    }
    std::filesystem::path folder;
};

TEST_F(PrinterTest, ImagePrintChecksTheHandleAndPrintsOnePage) {
    EXPECT_EQ(error_of([] { image_print(-1); }), 5);
    EXPECT_EQ(error_of([] { image_print(-9999); }), 5);
    EXPECT_EQ(error_of([] { image_print(0); }), 5);  // the start-up screen is text
    // Three by two pixels, printed through the image copy and printed as
    // plain pixels (the printer page's way): the same page both times.
    const uint32_t pixels[] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0, 0xFFD0E0F0, 0xFF010203};
    int32_t image = new_image(3, 2, 32, true);
    for (int i = 0; i < 6; ++i) page_store32(image_record(-image)->pixels + 4 * i, pixels[i]);
    EXPECT_EQ(error_of([&] { image_print(image); }), 0);
    EXPECT_TRUE(pages(1));
    print_page_send(pixels, 3, 2);
    ASSERT_TRUE(pages(2));
    std::vector<std::string> printed;
    for (auto& f : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(f.path(), std::ios::binary);
        printed.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_TRUE(printed[0] == printed[1]);
    EXPECT_EQ(printed[0].substr(17, 3), "\x10\x20\x30");
    EXPECT_EQ(printed[0].substr(printed[0].size() - 3), "\x01\x02\x03");
    free_image(image, true);
    EXPECT_EQ(error_of([&] { image_print(image); }), 5);
}

TEST_F(PrinterTest, PrinterTextComesOutAfterTenSecondsOfSilenceAsOnePage) {
    printer_print_text("FIRST", true);
    printer_print_text("SECOND", false);
    uint64_t last = printer_clock_ms();
    printer_housekeeping_at(last + printer_idle_ms - 200);
    EXPECT_TRUE(printer_page_pending());
    printer_housekeeping_at(last + printer_idle_ms + 100);
    EXPECT_FALSE(printer_page_pending());
    EXPECT_TRUE(pages(1));
    printer_flush();  // nothing pending: nothing printed
    printer_print_text("AT THE END", true);
    printer_flush();
    EXPECT_TRUE(pages(2));
}

TEST_F(PrinterTest, AFullPageGoesOutAndTheScreenKeepsItsDest) {
    int32_t dest = dest_image_handle();
    for (int line = 0; line < 121; ++line) printer_print_text("LINE", true);
    EXPECT_TRUE(pages(1));
    EXPECT_TRUE(printer_page_pending());
    EXPECT_EQ(dest_image_handle(), dest);
    EXPECT_FALSE(text_printer_mode());
}

TEST_F(PrinterTest, AMissingPrintCommandFailsQuietly) {
    setenv("MORV_PRINT_COMMAND", "/nonexistent/lp", 1);
    int32_t image = new_image(4, 4, 13, true);
    EXPECT_EQ(error_of([&] { image_print(image); }), 0);
    unsetenv("MORV_PRINT_COMMAND");
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(error_of([&] { image_print(image); }), 0);
}

}  // namespace
