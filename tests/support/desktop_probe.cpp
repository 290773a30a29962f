// The runtime with a program that carries out the desktop services on command,
// one command a line on standard input, and reports on standard output:
//   set HEX / get              clipboard text (bytes in hex) -> "set" / "got HEX"
//   setlong N                  N bytes of "abc...z" repeated on the clipboard -> "set"
//   lprint HEX / print         a line to the printer page / the screen to the printer
//   capture X Y                "capture W H RRGGBB" (the captured pixel at X, Y)
//   keys HEX                   types the bytes, then "key B1 [B2]" for each key read
//   click X Y                  clicks there, then "mouse X Y L" for each mouse message
//   busy MS / quit
// The window, titled "PROBE", shows a 320 x 200 screen in colour 4.
#include "runtime/runtime.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/images_internal.h"
#include <SDL.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string from_hex(const char* hex) {
    std::string out;
    for (; hex[0] && hex[1] && hex[0] != '\n'; hex += 2) {
        unsigned byte = 0;
        std::sscanf(hex, "%2x", &byte);
        out += static_cast<char>(byte);
    }
    return out;
}

std::string to_hex(std::string_view bytes) {
    std::string out;
    char two[3];
    for (char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        out += two;
    }
    return out;
}

StrDesc* temporary(const std::string& bytes) {
    return str_from_bytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Calls `step` until it has reported nothing new for `quiet_ms`.
template <typename Step>
void until_quiet(Step step, int quiet_ms) {
    auto last = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - last < std::chrono::milliseconds(quiet_ms)) {
        if (step())
            last = std::chrono::steady_clock::now();
        else
            SDL_Delay(5);
        str_release_temps(0, 0);
    }
}

int probe_program(void*) {
    set_window_title(str_lit("PROBE"));
    set_screen_mode(13, 0, 0, 0, 0, 1);
    clear_screen(0, 4, 2);
    const uint32_t frames = display_frame_counter();
    while (display_frame_counter() < frames + 3) SDL_Delay(5);
    std::printf("ready\n");
    std::fflush(stdout);
    char line[1 << 16];
    while (std::fgets(line, sizeof line, stdin)) {
        char word[16] = {};
        int x = 0, y = 0;
        std::sscanf(line, "%15s %d %d", word, &x, &y);
        const char* arg = std::strchr(line, ' ') ? std::strchr(line, ' ') + 1 : "";
        if (!std::strcmp(word, "set")) {
            clipboard_set_text(temporary(from_hex(arg)));
            std::printf("set\n");
        } else if (!std::strcmp(word, "setlong")) {
            std::string text(static_cast<size_t>(x), ' ');
            for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
            clipboard_set_text(temporary(text));
            std::printf("set\n");
        } else if (!std::strcmp(word, "get")) {
            std::printf("got %s\n", to_hex(str_view(clipboard_get_text())).c_str());
        } else if (!std::strcmp(word, "lprint")) {
            printer_print_string(temporary(from_hex(arg)), 1);
            std::printf("lprinted\n");
        } else if (!std::strcmp(word, "print")) {
            image_print(0);
            std::printf("printed\n");
        } else if (!std::strcmp(word, "capture")) {
            int32_t image = screen_capture();
            ImageRec* rec = image ? image_record(-image) : nullptr;
            if (rec && x < rec->width && y < rec->height) {
                uint32_t pixel = reinterpret_cast<uint32_t*>(rec->pixels)[size_t(y) * rec->width + x];
                std::printf("capture %d %d %08x\n", rec->width, rec->height, pixel);
                free_image(image, true);
            } else {
                std::printf("capture none\n");
            }
        } else if (!std::strcmp(word, "keys")) {
            keys_inject(temporary(from_hex(arg)));
            until_quiet(
                [] {
                    std::string_view key = str_view(key_buffer_read());
                    if (key.empty()) return false;
                    std::printf("key");
                    for (char c : key) std::printf(" %u", static_cast<unsigned char>(c));
                    std::printf("\n");
                    return true;
                },
                500);
            std::printf("keys done\n");
        } else if (!std::strcmp(word, "click")) {
            mouse_click_inject(x, y);
            until_quiet(
                [] {
                    if (mouse_input_next() != -1) return false;
                    std::printf("mouse %g %g %d\n", double(mouse_x()), double(mouse_y()), -mouse_button(1));
                    return true;
                },
                500);
            std::printf("click done\n");
        } else if (!std::strcmp(word, "busy")) {
            SDL_Delay(static_cast<uint32_t>(x));
            std::printf("idle\n");
        } else if (!std::strcmp(word, "quit")) {
            std::fflush(stdout);
            end_program();
        }
        std::fflush(stdout);
        str_release_temps(0, 0);
        if (error_code.load()) {
            std::printf("error %d\n", int(error_code.load()));
            error_code = 0;
        }
    }
    end_program();
}

}  // namespace

int main(int argc, char** argv) { return runtime_main(argc, argv, probe_program); }
