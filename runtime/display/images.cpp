// The image table and its handles, image creation and release, PageTable, the
// display/dest/source selection and the page copy.
#include "runtime/display/images.h"
#include "runtime/display/screen_mode.h"
#include "runtime/display/images_internal.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/core/errors.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/graphics.h"
#include "runtime/display/graphics_internal.h"
#include "runtime/display/page_memory.h"

namespace {

constexpr uint32_t image_chunk_records = 4096;  // the table grows by this many records
constexpr uint16_t text_blank_cell = 0x0720;  // space, light grey on black
constexpr int32_t first_program_handle = 2;  // 0 and 1 are never handed out

struct ModeInfo {
    uint16_t mode;
    uint8_t bits_per_pixel;
    uint8_t bytes_per_pixel;
    uint32_t font;
    uint32_t fg_colour;
    uint32_t bg_colour;
};

// Creation defaults of every mode an image can have.
const ModeInfo ModeTable[] = {
    {0, 16, 2, 16, 7, 0},  {1, 2, 1, 8, 3, 0},   {2, 1, 1, 8, 1, 0},     {7, 4, 1, 8, 15, 0},
    {8, 4, 1, 8, 15, 0},   {9, 4, 1, 14, 15, 0}, {10, 2, 1, 14, 3, 0},   {11, 1, 1, 16, 1, 0},
    {12, 4, 1, 16, 15, 0}, {13, 8, 1, 8, 15, 0}, {256, 8, 1, 16, 15, 0}, {32, 32, 4, 16, 0xFFFFFFFF, 0xFF000000},
};

// Records live in fixed chunks so that a record never moves while the event
// thread reads the display image; only the chunk directory grows.
struct ImageTableRec {
    std::vector<std::unique_ptr<ImageRec[]>> chunks;
    uint32_t count = 0;  // records ever handed out
    std::vector<int32_t> released;  // released handles, the last one on top
};
// Never destroyed: a thread still running while the process ends may read it,
// and what its records own stays reachable to the leak check at exit.
ImageTableRec& ImageTable = *new ImageTableRec;

struct PageTableRec {
    std::vector<int32_t> handles;  // page n's image handle, 0 for none
};
PageTableRec& PageTable = *new PageTableRec;

struct SelectionRec {
    int32_t display;
    int32_t dest;
    int32_t source;
};
SelectionRec Selection{};
// The display record as the event thread sees it.
std::atomic<ImageRec*> DisplayShown{nullptr};

const ModeInfo* mode_info(int32_t mode) {
    for (const ModeInfo& info : ModeTable)
        if (info.mode == mode) return &info;
    return nullptr;
}

ImageRec* record_at(uint32_t handle) {
    return &ImageTable.chunks[handle / image_chunk_records][handle % image_chunk_records];
}

bool image_table_grow() {
    uint64_t next_capacity = uint64_t{ImageTable.chunks.size() + 1} * image_chunk_records;
    if (next_capacity > uint64_t{INT32_MAX}) return false;
    ImageTable.chunks.push_back(std::make_unique<ImageRec[]>(image_chunk_records));
    return true;
}

bool released_stack_push(int32_t handle) {
    ImageTable.released.push_back(handle);
    return true;
}

// Every field from the mode's defaults; size, buffer, palette and flags are kept.
void apply_mode_defaults(ImageRec& rec, const ModeInfo& info) {
    ImageRec kept = rec;
    rec = ImageRec{};
    rec.valid = kept.valid;
    rec.width = kept.width;
    rec.height = kept.height;
    rec.pixels = kept.pixels;
    rec.palette = kept.palette;
    rec.flags = kept.flags;
    rec.mode = info.mode;
    rec.bits_per_pixel = info.bits_per_pixel;
    rec.bytes_per_pixel = info.bytes_per_pixel;
    rec.is_text = info.mode == 0;
    // A text image of 40 columns or fewer gets the double-width cells.
    rec.font = (info.mode == 0 && rec.width <= 40) ? info.font + 1 : info.font;
    rec.fg_colour = info.fg_colour;
    rec.bg_colour = info.bg_colour;
    rec.draw_colour = info.fg_colour;
    rec.print_mode = 3;
    rec.colour_mask = info.bits_per_pixel > 31 ? 0xFFFFFFFFu : (1u << info.bits_per_pixel) - 1;
    rec.transparent_colour = info.mode == 32 ? 0 : -1;
    if (rec.is_text) rec.cursor_start_line = rec.cursor_stop_line = 4;
    rec.gfx.draw_angle = 0.0;
    rec.gfx.draw_scale = 1.0;
    if (!rec.is_text) {
        rec.gfx.gfx_x = static_cast<float>(rec.width / 2);
        rec.gfx.gfx_y = static_cast<float>(rec.height / 2);
        rec.gfx.view_x2 = rec.width - 1;
        rec.gfx.view_y2 = rec.height - 1;
        rec.gfx.scale_x = rec.gfx.scale_y = 1.0f;
        rec.gfx.window_x2 = static_cast<float>(rec.gfx.view_x2);
        rec.gfx.window_y2 = static_cast<float>(rec.gfx.view_y2);
    }
    image_set_font(rec.font, rec);
}

void image_clear_buffer(ImageRec& rec) {
    if (!rec.pixels) return;
    size_t cells = size_t{rec.width} * rec.height;
    if (rec.is_text)
        page_fill16(rec.pixels, text_blank_cell, cells);
    else
        page_fill8(rec.pixels, 0, cells * rec.bytes_per_pixel);
}

// The handle a program argument names: a negative handle or a page number;
// 0 after raising the error.
int32_t handle_of_argument(int32_t x, int error_for_bad_handle) {
    if (x < 0) {
        int32_t handle = image_handle_of(x);
        if (image_record(handle)) return handle;
        runtime_error(error_for_bad_handle);
        return 0;
    }
    return ensure_page(x);
}

void program_image_free(int32_t handle) {
    if (Selection.dest == handle) Selection.dest = Selection.display;
    if (Selection.source == handle) Selection.source = Selection.display;
    image_destroy(handle);
}

}  // namespace

int32_t image_handle_of(int32_t image) {
    int64_t handle = -int64_t{image};
    return (handle > 0 && handle <= INT32_MAX) ? static_cast<int32_t>(handle) : 0;
}

int32_t image_argument_handle(int32_t x) { return handle_of_argument(x, error_invalid_handle); }

// --- Table and handles -------------------------------------------------------

void image_table_startup() {
    image_table_shutdown();
    if (!image_table_grow()) {
        runtime_error(error_out_of_memory_2);
        return;
    }
    ImageTable.count = first_program_handle;
    page_table_reset();
}

void image_table_shutdown() {
    DisplayShown.store(nullptr, std::memory_order_release);
    Selection = SelectionRec{};
    for (uint32_t h = first_program_handle; h < ImageTable.count; ++h)
        if (record_at(h)->valid) image_destroy(static_cast<int32_t>(h));
    ImageTable = ImageTableRec{};
    PageTable = PageTableRec{};
    screen_state_reset();
}

int32_t image_alloc_handle() {
    if (ImageTable.chunks.empty()) return 0;
    uint32_t handle;
    if (!ImageTable.released.empty()) {
        handle = static_cast<uint32_t>(ImageTable.released.back());
        ImageTable.released.pop_back();
    } else {
        if (ImageTable.count == ImageTable.chunks.size() * image_chunk_records && !image_table_grow()) {
            runtime_error(error_out_of_memory_2);
            return 0;
        }
        handle = ImageTable.count++;
    }
    ImageRec* rec = record_at(handle);
    *rec = ImageRec{};
    rec->valid = 1;
    return static_cast<int32_t>(handle);
}

bool image_release_handle(int32_t handle) {
    ImageRec* rec = image_record(handle);
    if (!rec) return false;
    *rec = ImageRec{};
    if (!released_stack_push(handle)) runtime_error(error_out_of_memory_3);
    return true;
}

ImageRec* image_record(int32_t handle) {
    if (handle < 0 || static_cast<uint32_t>(handle) >= ImageTable.count) return nullptr;
    ImageRec* rec = record_at(static_cast<uint32_t>(handle));
    return rec->valid ? rec : nullptr;
}

int32_t image_handle_end() { return static_cast<int32_t>(ImageTable.count); }

void image_destroy(int32_t handle) {
    ImageRec* rec = image_record(handle);
    if (!rec) return;
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): pixels and palettes of program-sized images: a failure is an error, not an exception
    if (rec->flags & image_owns_pixels) std::free(rec->pixels);
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): pixels and palettes of program-sized images: a failure is an error, not an exception
    if (rec->flags & image_owns_palette) std::free(rec->palette);
    image_release_handle(handle);
}

// --- Creation ----------------------------------------------------------------

bool image_mode_known(int32_t mode) { return mode_info(mode) != nullptr; }

int32_t image_create_on_buffer(uint8_t* buffer, int32_t width, int32_t height, int32_t mode) {
    const ModeInfo* info = mode_info(mode);
    if (!info || width < 1 || height < 1 || width > image_size_limit || height > image_size_limit) return 0;
    int32_t handle = image_alloc_handle();
    if (!handle) return 0;
    ImageRec& rec = *record_at(static_cast<uint32_t>(handle));
    rec.width = static_cast<uint16_t>(width);
    rec.height = static_cast<uint16_t>(height);
    rec.pixels = buffer;
    apply_mode_defaults(rec, *info);
    if (mode != 32) {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): pixels and palettes of program-sized images: a failure is an error, not an exception
        rec.palette = static_cast<uint32_t*>(std::calloc(256, sizeof(uint32_t)));
        if (!rec.palette) {
            image_release_handle(handle);
            return 0;
        }
        rec.flags |= image_owns_palette;
        image_default_palette(rec);
    }
    return handle;
}

int32_t image_create(int32_t width, int32_t height, int32_t mode) {
    int32_t handle = image_create_on_buffer(nullptr, width, height, mode);
    if (!handle) return 0;
    ImageRec& rec = *record_at(static_cast<uint32_t>(handle));
    uint64_t bytes = uint64_t{rec.width} * rec.height * rec.bytes_per_pixel;
    if (bytes > image_buffer_limit_bytes) {
        image_destroy(handle);
        return 0;
    }
    if (mode == 32) blend_tables_ensure();
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): pixels and palettes of program-sized images: a failure is an error, not an exception
    rec.pixels = static_cast<uint8_t*>(rec.is_text ? std::malloc(bytes) : std::calloc(bytes, 1));
    if (!rec.pixels) {
        image_destroy(handle);
        return 0;
    }
    rec.flags |= image_owns_pixels;
    if (rec.is_text) image_clear_buffer(rec);
    return handle;
}

void image_reinit(int32_t handle) {
    ImageRec* rec = image_record(handle);
    if (!rec) return;
    apply_mode_defaults(*rec, *mode_info(rec->mode));
    // Pages that borrow page 0's palette leave it alone.
    if (rec->flags & image_owns_palette) image_default_palette(*rec);
    image_clear_buffer(*rec);
}

void image_set_font(uint32_t font, ImageRec& image) {
    image.font = font;
    image.cursor_row = image.cursor_col = 1;
    image.holding_cursor = 0;
    image.view_top_row = 1;
    image.view_bottom_row = static_cast<int16_t>(std::clamp(image_text_rows(image) - 1, 1, int32_t{INT16_MAX}));
}

int32_t image_text_columns(const ImageRec& image) {
    if (image.is_text) return image.width;
    uint32_t cell = font_slot(image.font).cell_width;
    return cell ? static_cast<int32_t>(image.width / cell) : image.width;
}

int32_t image_text_rows(const ImageRec& image) {
    if (image.is_text) return image.height;
    uint32_t cell = font_slot(image.font).cell_height;
    return cell ? static_cast<int32_t>(image.height / cell) : image.height;
}

// --- Statements --------------------------------------------------------------

int32_t new_image(int32_t width, int32_t height, int32_t mode, bool mode_passed) {
    if (runtime_error_pending()) return 0;
    const ImageRec* dest = dest_image();
    if (width < 1 || height < 1 || width > image_size_limit || height > image_size_limit ||
        (mode_passed && !image_mode_known(mode)) || (!mode_passed && !dest)) {
        runtime_error(error_illegal_function_call);
        return 0;
    }
    int32_t handle = image_create(width, height, mode_passed ? mode : dest->mode);
    if (!handle) return -1;
    if (!mode_passed) {
        ImageRec& rec = *image_record(handle);
        if (rec.palette && dest->palette) page_write(rec.palette, dest->palette, 256 * sizeof(uint32_t));
        image_set_font(dest->font, rec);
        rec.fg_colour = dest->fg_colour;
        rec.bg_colour = dest->bg_colour;
        rec.draw_colour = dest->fg_colour;
        rec.transparent_colour = dest->transparent_colour;
        rec.blend_disabled = dest->blend_disabled;
        rec.print_mode = dest->print_mode;
    }
    return -handle;
}

void free_image(int32_t image, bool passed) {
    if (runtime_error_pending()) return;
    int32_t handle = Selection.dest;
    if (passed) {
        if (image >= 0) {
            runtime_error(error_illegal_function_call);
            return;
        }
        handle = image_handle_of(image);
    }
    ImageRec* rec = image_record(handle);
    if (!rec) {
        runtime_error(error_invalid_handle);
        return;
    }
    if (rec->flags & image_is_screen_page) {
        runtime_error(error_illegal_function_call);
        return;
    }
    program_image_free(handle);
}

void free_all_program_images() {
    if (runtime_error_pending()) return;
    for (uint32_t h = first_program_handle; h < ImageTable.count; ++h) {
        const ImageRec* rec = record_at(h);
        if (rec->valid && !(rec->flags & image_is_screen_page)) program_image_free(static_cast<int32_t>(h));
    }
}

void set_dest(int32_t x) {
    if (runtime_error_pending()) return;
    if (int32_t handle = handle_of_argument(x, error_invalid_handle)) Selection.dest = handle;
}

void set_source(int32_t x) {
    if (runtime_error_pending()) return;
    if (int32_t handle = handle_of_argument(x, error_invalid_handle)) Selection.source = handle;
}

int32_t get_dest() { return -Selection.dest; }
int32_t get_source() { return -Selection.source; }
int32_t get_display() { return -Selection.display; }

void copy_page(int32_t from, int32_t to) {
    if (runtime_error_pending()) return;
    int32_t from_handle = handle_of_argument(from, error_illegal_function_call);
    if (!from_handle) return;
    int32_t to_handle = handle_of_argument(to, error_illegal_function_call);
    if (!to_handle || to_handle == from_handle) return;
    const ImageRec& source = *image_record(from_handle);
    ImageRec& target = *image_record(to_handle);
    if (source.bytes_per_pixel != target.bytes_per_pixel || source.width != target.width ||
        source.height != target.height || (source.bytes_per_pixel == 1 && target.colour_mask < source.colour_mask)) {
        runtime_error(error_illegal_function_call);
        return;
    }
    if (source.pixels && target.pixels)
        page_write(target.pixels, source.pixels, size_t{source.width} * source.height * source.bytes_per_pixel);
}

// --- Selection and pages -----------------------------------------------------

int32_t display_image_handle() { return Selection.display; }
int32_t dest_image_handle() { return Selection.dest; }
int32_t source_image_handle() { return Selection.source; }
ImageRec* display_image() { return DisplayShown.load(std::memory_order_acquire); }
ImageRec* dest_image() { return image_record(Selection.dest); }
ImageRec* source_image() { return image_record(Selection.source); }

void image_select_display(int32_t handle) {
    Selection.display = handle;
    DisplayShown.store(image_record(handle), std::memory_order_release);
}
void image_select_dest(int32_t handle) { Selection.dest = handle; }
void image_select_source(int32_t handle) { Selection.source = handle; }

int32_t page_handle(int32_t n) { return (n >= 0 && n < page_count()) ? PageTable.handles[size_t(n)] : 0; }

int32_t page_count() { return static_cast<int32_t>(PageTable.handles.size()); }

bool page_table_grow(int32_t count) {
    if (count > page_count()) PageTable.handles.resize(size_t(count), 0);
    return true;
}

void page_table_set(int32_t n, int32_t handle) {
    if (n >= 0 && n < page_count()) PageTable.handles[size_t(n)] = handle;
}

void page_table_reset() { PageTable.handles.assign(1, 0); }

void images_startup() {
    image_table_startup();
    set_screen_mode(0, 0, 0, 0, 0, 1);
    screen_state_reset();
}

// Nothing to undo: the image table's shutdown frees the screen's pages.
void images_shutdown() {}
