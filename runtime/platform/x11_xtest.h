// The desktop seen and driven through the desktop connection: the root window
// read out as pixels, and pointer and key input made with the XTEST extension.
// Event thread only; without a display (or without XTEST) nothing happens.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The root window's pixels as 0xFFRRGGBB words, row 0 at the top. False
// (nothing read) without a display.
bool x11_desktop_capture(std::vector<uint32_t>* pixels, int* width, int* height);
// The desktop's size in pixels; false without a display.
bool x11_desktop_size(int* width, int* height);

// The pointer to (x, y) of the desktop, then a left press and release.
void x11_xtest_click(int x, int y);

// One key to press and release, with modifiers held around it.
enum InjectedModifiers : uint8_t {
    inject_shift = 1,  // Shift held
    inject_ctrl = 2,  // Control held
    inject_shift_as_mapped = 4,  // Shift held when the keyboard map puts the keysym on its shift level
};
struct InjectedKey {
    uint32_t keysym;
    uint8_t modifiers;
};
// The keys typed for bytes that are not characters.
enum class NamedKey : uint8_t {
    home,
    up,
    page_up,
    left,
    right,
    end,
    down,
    page_down,
    insert,
    erase,
    tab,
    backspace,
    enter
};
// Its keysym (a character's keysym is the character's Latin-1 code).
uint32_t x11_keysym_of(NamedKey key);
// Half of typing a key into the window with the focus: `down` presses the
// modifiers and then the key, else the key and then the modifiers are
// released. A keysym that no key of the keyboard map gives is skipped.
// False when there is no display with XTEST to send it to.
bool x11_xtest_key(const InjectedKey& key, bool down);
