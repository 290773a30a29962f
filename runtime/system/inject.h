// Input made for the desktop: a left click at a desktop position, and a string
// typed into the window with the focus, one key at a time.
#pragma once
#include <cstdint>

struct StrDesc;

// Moves the pointer to desktop pixel (x, y), scaled through the 0-65535 range
// of an absolute move, and clicks the left button.
void mouse_click_inject(int32_t x, int32_t y);
// Types the string: control letters with Ctrl, characters with Shift where the
// keyboard wants it, and the key buffer's two-byte codes as their keys; bytes
// without a key are skipped. Consumes a temporary.
void keys_inject(StrDesc* text);
