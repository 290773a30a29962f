// image_print: the source copied onto a page-sized 32-bit image with the
// image copy, encoded and submitted; and the same sampling over plain pixels
// for pages read out where the image table cannot be touched.
#include "runtime/system/print_page.h"
#include "runtime/system/print_page_internal.h"
#include <climits>
#include <cmath>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/display/image_copy.h"
#include "runtime/display/image_copy_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/platform/print_command.h"

namespace {

// Handles 0 and 1 are never a program's images.
constexpr int32_t first_program_handle = 2;

// The sampled source positions of one axis.
std::vector<int32_t> sample_positions(int32_t source_extent, int32_t page_extent) {
    std::vector<int32_t> at(static_cast<size_t>(page_extent));
    double start = -0.499999, span = source_extent - 1 + 2 * 0.499999;
    double step = page_extent > 1 ? span / (page_extent - 1) : 0;
    for (int32_t i = 0; i < page_extent; ++i) {
        double p = std::nearbyint(start + i * step);
        at[static_cast<size_t>(i)] = p < 0 ? 0 : (p > source_extent - 1 ? source_extent - 1 : static_cast<int32_t>(p));
    }
    return at;
}

}  // namespace

void print_page_scale(const uint32_t* source, int32_t width, int32_t height, uint32_t* page, int32_t page_width,
                      int32_t page_height) {
    std::vector<int32_t> columns = sample_positions(width, page_width), rows = sample_positions(height, page_height);
    for (int32_t y = 0; y < page_height; ++y) {
        const uint32_t* from = source + static_cast<size_t>(rows[static_cast<size_t>(y)]) * width;
        uint32_t* to = page + static_cast<size_t>(y) * page_width;
        for (int32_t x = 0; x < page_width; ++x) to[x] = from[columns[static_cast<size_t>(x)]];
    }
}

std::string print_page_encode(const uint32_t* page, int32_t width, int32_t height) {
    std::string out = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    size_t header = out.size();
    out.resize(header + static_cast<size_t>(width) * height * 3);
    char* p = out.data() + header;
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        *p++ = static_cast<char>(page[i] >> 16);
        *p++ = static_cast<char>(page[i] >> 8);
        *p++ = static_cast<char>(page[i]);
    }
    return out;
}

void print_page_send(const uint32_t* pixels, int32_t width, int32_t height) {
    if (!pixels || width < 1 || height < 1) return;
    std::string document;
    if (width == print_page_width && height == print_page_height) {
        document = print_page_encode(pixels, width, height);
    } else {
        std::vector<uint32_t> page(static_cast<size_t>(print_page_width) * print_page_height);
        print_page_scale(pixels, width, height, page.data(), print_page_width, print_page_height);
        document = print_page_encode(page.data(), print_page_width, print_page_height);
    }
    print_command_submit(document.data(), document.size(), "Document");
}

void image_print(int32_t image) {
    if (runtime_error_pending()) return;
    int32_t handle = 0;
    if (image >= 0)
        handle = ensure_page(image);
    else if (image > -first_program_handle || image == INT32_MIN)
        handle = 0;
    else
        handle = -image;
    if (runtime_error_pending()) return;
    const ImageRec* rec = handle ? image_record(handle) : nullptr;
    if (!rec || rec->is_text || !rec->pixels) {
        runtime_error(error_illegal_function_call);
        return;
    }
    // A page the machine cannot hold ends the document quietly, as the
    // printer's own failures do.
    int32_t page = image_create(print_page_width, print_page_height, 32);
    ImageRec* paper = image_record(page);
    if (!paper) return;
    if (image_copy_whole(*rec, *paper))
        print_page_send(reinterpret_cast<const uint32_t*>(paper->pixels), paper->width, paper->height);
    image_destroy(page);
}
