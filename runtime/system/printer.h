// The printer page: text printed to the printer collects on a 640 x 960 page
// (80 columns of 8 x 8 characters, black on white) that goes to the printer
// when it is full, after 10 seconds without printer output, and at program end.
#pragma once
#include <cstdint>
#include <string_view>

struct StrDesc;

// The line-printer print: the string onto the printer page as print_string
// puts it on the screen, a non-zero `newline` ending the line. Consumes a
// temporary.
void printer_print_string(StrDesc* text, int32_t newline);
void printer_print_text(std::string_view text, bool newline);

// The silence after which a page holding text is printed.
constexpr uint64_t printer_idle_ms = 10000;
constexpr int32_t printer_page_width = 640;
constexpr int32_t printer_page_height = 960;
