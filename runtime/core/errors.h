// The runtime's failure channel: numbered runtime errors recorded for the
// statement check, critical errors that end the process, and the statement check
// itself, where the program thread pauses, parks, reports and runs event traps.
#pragma once
#include <atomic>
#include <cstdint>
#include "runtime/core/flags.h"

// Line number of the statement whose check found the pending error.
extern std::atomic<uint32_t> error_line;
// Tested by compiled code right after statement_check; always left 0.
extern std::atomic<int32_t> retry_statement;

// Records runtime error n (0 or negative records 5); the first error since the
// last report wins. Critical numbers show their box and end the process.
void runtime_error(int32_t n);

// Called by compiled code after a statement while event_pending is set.
void statement_check(uint32_t line);

// The box that shows errors to the user: a title, a text and either an OK
// button or Yes and No; true for Yes (and for OK). The display installs its
// own at start-up; until then a box is its text on stderr, answered OK or No.
using ErrorBox = bool (*)(const char* title, const char* text, bool yes_no);
void error_box_set(ErrorBox box);

// The message text of error n ("Unprintable error" when it has none).
const char* error_message(int32_t n);
// True for the numbers that end the process at once.
bool error_is_critical(int32_t n);
// Box text and title of a critical number; null for the other numbers.
const char* critical_error_text(int32_t n);
const char* critical_error_title(int32_t n);
