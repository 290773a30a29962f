// The text clipboard: the CLIPBOARD selection of the X display, holding code
// page 437 text that other programs see as UTF-8; without a display, a text
// kept inside the process.
#pragma once
#include <cstdint>

struct StrDesc;

// Puts the string on the clipboard (up to its first zero byte, as plain text
// ends there); consumes a temporary. Nothing happens when the display will not
// give us the selection.
void clipboard_set_text(StrDesc* text);
// The clipboard's text as a new temporary: "" when it holds no text (an image,
// nothing at all), or its owner fell silent for clipboard_wait_ms or took
// longer than clipboard_total_wait_ms in all.
StrDesc* clipboard_get_text();

// The longest the program waits for another program to answer, or to send
// the next piece of a long text, and the longest it waits in all.
constexpr uint32_t clipboard_wait_ms = 2000;
constexpr uint32_t clipboard_total_wait_ms = 10000;
