// The option list of a font load: any bytes as the list, with a real font
// (DejaVu Sans from the system's fonts) at a size the first byte chooses. A
// list is error 5 exactly when one of its comma-separated words, trimmed of
// spaces and in any case, is not an option word or comes twice; otherwise the
// font loads, and frees again.
#include <SDL/SDL_ttf.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"

namespace {

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "font_options_fuzz: %s\n", what);
    std::abort();
}

// The model: true when every word of the list is an option word, once.
bool list_valid(std::string_view list) {
    static const std::string words[] = {"BOLD", "ITALIC", "UNDERLINE", "DONTBLEND", "MONOSPACE", "UNICODE"};
    if (list.empty()) return true;
    unsigned seen = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = std::min(list.find(',', start), list.size());
        std::string word(list.substr(start, comma - start));
        word.erase(0, word.find_first_not_of(' '));
        word.erase(word.find_last_not_of(' ') + 1);
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto at = std::find(std::begin(words), std::end(words), word);
        if (at == std::end(words) || (seen & (1u << (at - words)))) return false;
        seen |= 1u << (at - words);
        if (comma == list.size()) return true;
        start = comma + 1;
    }
}

void start_once() {
    static bool started = false;
    if (started) return;
    started = true;
    flags_reset();
    low_memory_clear();
    memory_startup();
    strings_startup();
    check(TTF_Init() == 0, "TTF_Init failed");
    fonts_startup();
    images_startup();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_once();
    if (size == 0) return 0;
    static const double sizes[] = {16, 8, 0.5, 1, 999, 0.001};
    const double points = sizes[data[0] % 6];
    const std::string_view list(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string font = "DejaVuSans.ttf";
    const int32_t handle = load_font(str_from_bytes(font.data(), uint32_t(font.size())), points,
                                     str_from_bytes(list.data(), uint32_t(list.size())), true);
    const int32_t e = error_code.exchange(0);
    check((e == 5) == !list_valid(list), "error 5 does not match the list's validity");
    check(e == 0 || e == 5, "an error other than 5");
    if (handle > 0) {
        free_font(handle);
        check(error_code.exchange(0) == 0, "freeing the loaded font failed");
    }
    return 0;
}
