// The input-method library: what start-up and the event loop call.
#pragma once

// 0 on success.
extern "C" int InputMethod_Init();
// True while a composition is being shown in the overlay.
bool ime_composition_shown();
// Turns the library's pending events into key presses (event thread).
void ime_poll_events();
// The candidate font paths, tried in order when a composition first shows.
void ime_set_font_candidates(const char* const* paths, int count);
// Start-up: "cyberbit.ttf" in the program folder, then three fonts under the
// folder named by WinDir (empty when unset).
void ime_prepare_font_candidates();
// Tries the candidates once; later calls do nothing.
void ime_load_font();
