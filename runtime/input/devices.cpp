// Game devices. Controller events are dropped until the device statements exist.
#include "runtime/input/devices.h"

void device_handle_event(const SDL_Event&) {}
