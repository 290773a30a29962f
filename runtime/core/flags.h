// The flag words the event, program and timer threads share. Each has one writer
// (or a few that only ever set it); readers see a change at their next poll.
#pragma once
#include <atomic>
#include <cstdint>

// The program is to end; the event thread starts the shutdown when it sees it.
extern std::atomic<uint8_t> exit_requested;
// Non-zero when statement_check has work to do.
extern std::atomic<int32_t> event_pending;
// Number of the pending runtime error, 0 when none.
extern std::atomic<int32_t> error_code;
// 1 refresh every frame, 0 the event thread does not refresh, -1 refresh once.
extern std::atomic<int32_t> auto_display;
