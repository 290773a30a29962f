// Game devices: what the event loop hands over.
#pragma once

union SDL_Event;

// Controller axis, ball, hat and button events.
void device_handle_event(const SDL_Event& event);
