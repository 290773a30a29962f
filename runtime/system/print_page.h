// Printing an image: the image scaled to the printer's page and handed to the
// print command as one page named "Document".
#pragma once
#include <cstdint>

// The printable page: A4 at 150 dots an inch.
constexpr int32_t print_page_width = 1240;
constexpr int32_t print_page_height = 1754;

// Prints image `image` (a negative handle) or screen page `image` (0 and up),
// stretched over the whole page by the image copy (palette colours looked
// up, the transparent colour and 32-bit alpha over the page's black). Error 5 for an image handle that is out of
// range or free, a page that cannot be made, or a text screen (which has no
// pixels to print). A print command that fails ends the page quietly.
void image_print(int32_t image);
