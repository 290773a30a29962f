// Game devices: what the event loop hands over.
#pragma once

union SDL_Event;

// Controller axis, ball, hat and button events.
void device_handle_event(const SDL_Event& event);
// The start of every event-loop pass: while device enumeration asks the event
// thread to stand still (device_pause_state 1), it answers 2 and waits until
// the enumeration stores 0 or the shutdown begins.
void devices_pass();
