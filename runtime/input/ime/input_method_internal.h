// The library's functions that are not exported: the built-in back-ends and
// the one-character message.
#pragma once
#include <cstddef>
#include <cstdint>
#include "runtime/input/ime/input_method.h"

// Longest editing string kept, in UTF-16 units; a longer one is cut there.
constexpr size_t input_method_string_limit = 4096;

int input_method_backend_count();
bool input_method_backend_available(int index);
// Null unless back-end `index` is available.
const uint16_t* input_method_backend_name(int index);
// 1 when already initialised, 11 for a bad index, 10 when not available,
// otherwise as InputMethod_Init.
int input_method_init_backend(int index);
// Queues a type-4 message carrying one character.
int input_method_post_char(uint16_t character);
bool input_method_inited();
// True while no thread is setting the library's error text in SDL (the end
// waits for this before SDL leaves).
bool input_method_errors_settled();
// The event thread's side: the first message taken off the queue whole (null
// when empty), and its release.
InputMethodMessage* input_method_take_first();
void input_method_free_message(InputMethodMessage* message);

// The built-in back-end on the desktop's X input method.
extern const InputMethodBackend input_method_xim_backend;
