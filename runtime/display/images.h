// Images and screen pages: the statements that create, free and select images
// and copy pages (the screen mode and the text size are screen_mode.h's).
// Programs name images by negative handles and screen pages by numbers from 0.
#pragma once
#include <cstdint>

// Width and height are held in 16 bits.
constexpr int32_t image_size_limit = 65535;
// Highest screen page number a program may name.
constexpr int32_t page_number_limit = 4095;
// Largest text screen the text-size statement builds, in columns and in rows.
constexpr int32_t text_size_limit = 255;

// --- Statements --------------------------------------------------------------
int32_t new_image(int32_t width, int32_t height, int32_t mode, bool mode_passed);
void free_image(int32_t image, bool passed);
void set_dest(int32_t x);
void set_source(int32_t x);
int32_t get_dest();
int32_t get_source();
int32_t get_display();
void copy_page(int32_t from, int32_t to);
