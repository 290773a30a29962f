// A program that composes through the input-method library it finds by name
// in its own process: a composition "MORV" with "MO" as the target clause and
// the caret at the end, shown until Space commits "ab". Prints "COMPOSING",
// then "KEY <c>" for each key read; Escape or a close ends it.
#include <dlfcn.h>
#include <cstdio>
#include "runtime/runtime.h"

namespace {

using PostEvent = int (*)(int32_t, const uint16_t*, int32_t, uint32_t, uint32_t);

int compose_program(void*) {
    auto post = reinterpret_cast<PostEvent>(dlsym(RTLD_DEFAULT, "InputMethod_PostEvent"));
    if (!post) {
        std::printf("NOEXPORT\n");
        std::fflush(stdout);
        end_program();
    }
    set_screen_mode(0, 0, 0, 0, 0, 1);
    const char16_t composing[] = u"MORV", committed[] = u"ab";
    post(1, reinterpret_cast<const uint16_t*>(composing), 4, 0, 2);
    std::printf("COMPOSING\n");
    std::fflush(stdout);
    for (;;) {
        std::string_view key = str_view(key_buffer_read());
        if (key == "\x1b") end_program();
        if (key == " ")
            post(2, reinterpret_cast<const uint16_t*>(committed), 0, 0, 0);
        else if (!key.empty())
            std::printf("KEY %.*s\n", int(key.size()), key.data());
        std::fflush(stdout);
        str_release_temps(0, 0);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, compose_program); }
