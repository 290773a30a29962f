// The window icon the runtime gives a window before a program gives its own.
#pragma once
#include <cstdint>

// The window icon: a 32 x 32, 8-bit BMP held in the program.
const uint8_t* window_icon_bmp();
uint32_t window_icon_bmp_size();
