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

// The message text of error n ("Unprintable error" when it has none).
const char* error_message(int32_t n);
// True for the numbers that end the process at once.
bool error_is_critical(int32_t n);
