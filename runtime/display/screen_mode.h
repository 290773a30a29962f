// The screen-mode and text-size statements: the window's mode, its pages and
// the text screen's size.
#pragma once
#include <cstdint>

void set_screen_mode(int32_t mode, int32_t colour_switch, int32_t active_page, int32_t visual_page, int32_t unused,
                     uint32_t passed);
void set_text_size(int32_t device, int32_t columns, int32_t rows, uint32_t passed);
