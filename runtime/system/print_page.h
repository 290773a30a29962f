// Printing an image: the image scaled to the printer's page and handed to the
// print command as one page named "Document".
#pragma once
#include <cstdint>
#include <string>

// The printable page: A4 at 150 dots an inch.
constexpr int32_t print_page_width = 1240;
constexpr int32_t print_page_height = 1754;

// Prints image `image` (a negative handle) or screen page `image` (0 and up),
// stretched over the whole page by the image copy (palette colours looked
// up, the transparent colour and 32-bit alpha over the page's black). Error 5 for an image handle that is out of
// range or free, a page that cannot be made, or a text screen (which has no
// pixels to print). A print command that fails ends the page quietly.
void image_print(int32_t image);

// Prints 32-bit pixels (0xAARRGGBB, row 0 at the top) as one page, scaled
// when they are not page-sized. Any thread: it touches no image.
void print_page_send(const uint32_t* pixels, int32_t width, int32_t height);

// The page-sized scaling for pixels outside the image table (the printer
// page, read out by the event thread), sampling as the image copy does: page
// pixel i takes source column round(-0.499999 + i * step) over the widened span.
void print_page_scale(const uint32_t* source, int32_t width, int32_t height, uint32_t* page, int32_t page_width,
                      int32_t page_height);
// The page as the print command receives it: a binary PPM (P6) picture.
std::string print_page_encode(const uint32_t* page, int32_t width, int32_t height);
