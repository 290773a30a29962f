// The emulated 1 MB low memory: key buffer, timer ticks, low strings, low blocks
// and the screen pages all live in this one zeroed byte array.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t low_memory_size = 1114099;

constexpr uint32_t low_keyboard_status1 = 0x417;
constexpr uint32_t low_keyboard_status2 = 0x418;
constexpr uint32_t low_keyboard_status3 = 0x496;
constexpr uint32_t low_key_buffer_head = 0x41A;
constexpr uint32_t low_key_buffer_tail = 0x41C;
constexpr uint32_t low_timer_ticks = 0x46C;
constexpr uint32_t low_string_segment = 0x500;
constexpr uint32_t low_block_area_start = 0x10500;
constexpr uint32_t low_block_area_end = 0xA0000;
constexpr uint32_t low_graphics_page = 0xA0000;
constexpr uint32_t low_text_pages = 0xB8000;

// The base of LowMemoryImage.
uint8_t* low_memory();

inline uint16_t low_read16(uint32_t offset) {
    const uint8_t* m = low_memory() + offset;
    return static_cast<uint16_t>(m[0] | (m[1] << 8));
}
