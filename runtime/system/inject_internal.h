// How injected input is planned: the keys of a string and the pointer's landing
// position.
#pragma once
#include <cstdint>
#include <string_view>
#include "runtime/system/inject.h"
#include <vector>
#include "runtime/platform/x11_xtest.h"

// The keys a string is typed with.
std::vector<InjectedKey> keys_inject_plan(std::string_view bytes);
// Desktop pixel `v` of `extent` through the absolute-move range: the position
// the pointer lands on, within 0 .. extent - 1.
int32_t mouse_inject_position(int32_t v, int32_t extent);
