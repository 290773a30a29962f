// The printer page: an image over a buffer of our own (so that the event
// thread can read it whatever the program frees), written only while the
// printer lock is held, printed from a copy taken under the same lock.
#include "runtime/system/printer.h"
#include "runtime/system/printer_internal.h"
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"
#include "runtime/display/fonts.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/display/text_internal.h"
#include "runtime/system/print_page.h"
#include "runtime/system/print_page_internal.h"

namespace {

constexpr uint8_t page_white = 15;
constexpr uint8_t ink_black = 0;
constexpr int32_t printer_columns = 80;

struct PrinterPage {
    std::mutex lock;  // held while text goes onto the page and while it is copied out
    std::vector<uint8_t> pixels;  // palette indices, one byte a pixel
    std::array<uint32_t, 256> palette{};
    int32_t handle = 0;  // its image record while that still shows our buffer
    int32_t column = 1;  // the printer column between prints
    bool needs_clear = false;  // printed by the event thread; cleared at the next print
    bool went_out = false;  // a full page went out during the current print
    std::atomic<bool> holds_text{false};
    std::atomic<uint64_t> last_output_ms{0};
};
PrinterPage Page;

void clear_page() {
    page_fill8(Page.pixels.data(), page_white, Page.pixels.size());
    if (ImageRec* rec = image_record(Page.handle)) {
        rec->cursor_row = rec->view_top_row;
        rec->cursor_col = 1;
        rec->holding_cursor = 0;
    }
    Page.column = 1;
    Page.needs_clear = false;
}

// The page's record, made again when the program's image statements freed it.
ImageRec* page_record() {
    ImageRec* rec = image_record(Page.handle);
    if (rec && rec->pixels == Page.pixels.data()) return rec;
    if (Page.pixels.empty())
        Page.pixels.assign(static_cast<size_t>(printer_page_width) * printer_page_height, page_white);
    Page.handle = image_create_on_buffer(Page.pixels.data(), printer_page_width, printer_page_height, 13);
    rec = image_record(Page.handle);
    if (!rec) return nullptr;
    for (uint32_t i = 0; i < 256; ++i) Page.palette[i] = rec->palette[i];
    rec->fg_colour = ink_black;
    rec->draw_colour = ink_black;
    rec->bg_colour = page_white;
    clear_page();
    return rec;
}

// Lock held: the page as 32-bit colour.
std::vector<uint32_t> page_colours() {
    std::vector<uint32_t> out(Page.pixels.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = 0xFF000000u | Page.palette[page_load8(Page.pixels.data() + i)];
    return out;
}

}  // namespace

// Called from the text output, the page's lock held, when a line goes past
// the page's last row.
void printer_page_full() {
    std::vector<uint32_t> colours = page_colours();
    print_page_send(colours.data(), printer_page_width, printer_page_height);
    page_fill8(Page.pixels.data(), page_white, Page.pixels.size());
    Page.holds_text = false;
    Page.went_out = true;
}

namespace {

void print_if_due(bool always, uint64_t now_ms) {
    if (!Page.holds_text.load()) return;
    std::unique_lock<std::mutex> guard(Page.lock, std::try_to_lock);
    if (!guard.owns_lock() || !Page.holds_text.load()) return;
    if (!always && now_ms - Page.last_output_ms.load() < printer_idle_ms) return;
    std::vector<uint32_t> colours = page_colours();
    Page.holds_text = false;
    Page.needs_clear = true;
    guard.unlock();
    print_page_send(colours.data(), printer_page_width, printer_page_height);
}

}  // namespace

uint64_t printer_clock_ms() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void printer_print_text(std::string_view text, bool newline) {
    if (runtime_error_pending()) return;
    std::lock_guard<std::mutex> guard(Page.lock);
    ImageRec* rec = page_record();
    if (!rec) return;
    if (Page.needs_clear) clear_page();
    int32_t saved_dest = dest_image_handle();
    image_select_dest(Page.handle);
    text_printer_mode_set(true, printer_columns);
    text_printer_column_set(Page.column);
    Page.went_out = false;
    print_text(text, newline);
    Page.column = text_printer_column();
    text_printer_mode_set(false, printer_columns);
    image_select_dest(saved_dest);
    // A print that ended a full page with its line end leaves the next one blank.
    bool blank = Page.went_out && rec->cursor_row == rec->view_top_row && rec->cursor_col == 1;
    if (!blank) Page.holds_text = true;
    Page.last_output_ms = printer_clock_ms();
}

void printer_print_string(StrDesc* text, int32_t newline) {
    printer_print_text(str_view(text), newline != 0);
    str_consume(text);
}

void printer_housekeeping() { print_if_due(false, printer_clock_ms()); }

void printer_housekeeping_at(uint64_t now_ms) { print_if_due(false, now_ms); }

void printer_flush() { print_if_due(true, 0); }

// Nothing to prepare: the page is made at the first print.
void printer_startup() {}

void printer_shutdown() { printer_flush(); }

void printer_flush_within(uint32_t wait_ms) {
    const uint64_t deadline = printer_clock_ms() + wait_ms;
    for (;;) {
        print_if_due(true, 0);
        if (!Page.holds_text.load() || printer_clock_ms() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool printer_page_pending() { return Page.holds_text.load(); }
