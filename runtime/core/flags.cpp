// Storage of the shared flag words.
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"

std::atomic<uint8_t> exit_requested{0};
std::atomic<uint8_t> stop_threads{0};
std::atomic<uint8_t> pause_flags{0};
std::atomic<uint32_t> threads_stopped{0};
std::atomic<uint32_t> threads_started{0};
std::atomic<int32_t> event_pending{0};
std::atomic<int32_t> error_code{0};
std::atomic<int32_t> auto_display{1};
std::atomic<int32_t> display_pause_state{0};
std::atomic<int32_t> device_pause_state{0};

void flags_reset() {
    exit_requested = 0;
    stop_threads = 0;
    pause_flags = 0;
    threads_stopped = 0;
    threads_started = 0;
    event_pending = 0;
    error_code = 0;
    auto_display = 1;
    display_pause_state = 0;
    device_pause_state = 0;
}
