// The error box the display installs, and the texts of the critical errors.
#pragma once
#include <cstdint>
#include "runtime/core/errors.h"

// The box that shows errors to the user: a title, a text and either an OK
// button or Yes and No; true for Yes (and for OK). The display installs its
// own at start-up; until then a box is its text on stderr, answered OK or No.
using ErrorBox = bool (*)(const char* title, const char* text, bool yes_no);
void error_box_set(ErrorBox box);

// Box text and title of a critical number; null for the other numbers.
const char* critical_error_text(int32_t n);
const char* critical_error_title(int32_t n);
