// image_print: the source read out as 32-bit pixels, scaled to the page,
// encoded and submitted. The scaling stands in one function so that the image
// copy can take its place.
#include "runtime/system/print_page.h"
#include <climits>
#include <cmath>
#include <vector>
#include "runtime/core/errors.h"
#include "runtime/display/images.h"
#include "runtime/platform/print_command.h"

namespace {

constexpr int error_illegal_call = 5;
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

// A 32-bit pixel drawn onto the page's black as the copy blends it.
uint32_t over_black(uint32_t argb) {
    uint32_t a = argb >> 24;
    if (a == 255) return argb;
    auto channel = [&](int shift) { return (((argb >> shift) & 0xFF) * a + 127) / 255 << shift; };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

// The image's pixels as 32-bit colour, as the copy onto a fresh page would
// leave them: palette indices through the palette, the transparent index and
// alpha over black.
std::vector<uint32_t> image_colours(const ImageRec& image) {
    std::vector<uint32_t> out(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < out.size(); ++i) {
        if (image.bytes_per_pixel == 4) {
            uint32_t p = page_load32(image.pixels + 4 * i);
            out[i] = image.blend_disabled ? p : over_black(p);
        } else {
            uint32_t index = page_load8(image.pixels + i) & image.colour_mask;
            out[i] = static_cast<int32_t>(index) == image.transparent_colour ? 0 : 0xFF000000u | image.palette[index];
        }
    }
    return out;
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
    std::vector<uint32_t> page(static_cast<size_t>(print_page_width) * print_page_height);
    print_page_scale(pixels, width, height, page.data(), print_page_width, print_page_height);
    std::string document = print_page_encode(page.data(), print_page_width, print_page_height);
    print_command_submit(document.data(), document.size(), "Document");
}

void image_print(int32_t image) {
    if (error_code.load(std::memory_order_relaxed)) return;
    int32_t handle = 0;
    if (image >= 0) handle = ensure_page(image);
    else if (image > -first_program_handle || image == INT32_MIN) handle = 0;
    else handle = -image;
    if (error_code.load(std::memory_order_relaxed)) return;
    const ImageRec* rec = handle ? image_record(handle) : nullptr;
    if (!rec || rec->is_text || !rec->pixels) {
        runtime_error(error_illegal_call);
        return;
    }
    std::vector<uint32_t> colours = image_colours(*rec);
    print_page_send(colours.data(), rec->width, rec->height);
}
