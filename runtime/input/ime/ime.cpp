// The input-method library. There is no input-method back-end on this system,
// so the library starts with none and never shows a composition.
#include "runtime/input/ime/ime.h"
#include <cstdlib>
#include <string>
#include <vector>

namespace {
std::vector<std::string> FontCandidates;
}

extern "C" int InputMethod_Init() { return 0; }

bool ime_composition_shown() { return false; }

void ime_poll_events() {}

void ime_set_font_candidates(const char* const* paths, int count) {
    FontCandidates.assign(paths, paths + count);
}

void ime_load_font() {}

void ime_prepare_font_candidates() {
    const char* windir = std::getenv("WinDir");
    std::string base = windir ? windir : "";
    const std::string paths[] = {"cyberbit.ttf", base + "\\fonts\\cyberbit.ttf", base + "\\fonts\\arialuni.ttf",
                                 base + "\\fonts\\msmincho.ttf"};
    FontCandidates.assign(std::begin(paths), std::end(paths));
}
