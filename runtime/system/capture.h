// The desktop captured as an image.
#pragma once
#include <cstdint>

// A new 32-bit image (as the program's negative handle) holding the X root
// window, alpha 255, row 0 at the top. 0, making nothing, without a display or
// when the image cannot be made.
int32_t screen_capture();
