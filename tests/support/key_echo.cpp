// The runtime with a program that reads the key buffer and writes every key
// string it gets to standard output as decimal byte values, one key a line.
#include "runtime/runtime.h"
#include <cstdio>

namespace {

int key_echo_program(void*) {
    set_window_title(str_lit("KEYS"));
    for (;;) {
        StrDesc* key = key_buffer_read();
        std::string_view bytes = str_view(key);
        if (!bytes.empty()) {
            for (size_t i = 0; i < bytes.size(); ++i)
                std::printf(i ? " %u" : "%u", static_cast<unsigned char>(bytes[i]));
            std::printf("\n");
            std::fflush(stdout);
        }
        str_release_temps(0, 0);
        if (event_pending.load()) statement_check(1);
    }
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, key_echo_program); }
