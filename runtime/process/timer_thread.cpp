// The timer thread: turns due timer traps into pending events. It rests on its
// wake-up until the next switched-on trap falls due; a trap switched on or
// re-timed, and the shutdown, wake it.
#include "runtime/process/spine.h"
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/threads.h"
#include "runtime/core/threads_internal.h"
#include "runtime/core/traps.h"
#include "runtime/core/traps_internal.h"
#include <SDL.h>
#include <cmath>

namespace {
// With no trap due the thread still looks at its flags this often.
constexpr uint32_t idle_rest_ms = 1000;
}  // namespace

int timer_thread_main(void*) {
    for (;;) {
        uint64_t ticket = timer_wakeup.ticket();
        double now = SDL_GetTicks() * 0.001;
        timer_traps_poll(now);
        if (stop_threads.load()) {
            threads_stopped.fetch_or(2);
            event_wakeup.signal();
            return 0;
        }
        double due_in_ms = std::ceil((timer_traps_next_due() - now) * 1000.0);
        uint32_t rest = !(due_in_ms < idle_rest_ms) ? idle_rest_ms : due_in_ms < 1 ? 1 : uint32_t(due_in_ms);
        timer_wakeup.wait(ticket, rest);
    }
}
