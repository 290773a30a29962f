// Pages printed from pixels: scaling to the page and the PPM the print command
// receives.
#pragma once
#include <cstdint>
#include <string>
#include "runtime/system/print_page.h"

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
