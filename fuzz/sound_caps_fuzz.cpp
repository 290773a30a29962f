// sound_open on arbitrary capability lists and arbitrary file contents, with
// the dummy audio driver: a list is refused with error 5 exactly when it holds
// an unknown word or one word twice; an accepted one gives the handle its SYNC
// decides (or 0 when the file cannot be played), and the handle closes. The
// file is decoded (a channel sound) or looked at (the stream) in a decoder
// child, which is this same program and reports its coverage request by
// request: a decoder that crashes there is a refused file, a crash here a
// finding.
//
// Input: the capability list up to the first newline, the file's bytes after it.
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "runtime/sound/sound_files.h"
#include "runtime/sound/sound_files_internal.h"

namespace {

std::string File;

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "sound_caps_fuzz: %s\n", what);
    std::abort();
}

// The list as the statement reads it: comma-separated words, spaces around
// them ignored, any case; empty or all spaces is no capability.
struct Expected {
    bool valid;
    bool sync;
};
Expected expected_of(std::string_view list) {
    if (list.find_first_not_of(' ') == std::string_view::npos) return {true, false};
    const char* words[] = {"SYNC", "VOL", "PAUSE", "LEN", "SETPOS"};
    bool seen[5] = {};
    size_t start = 0;
    for (;;) {
        size_t comma = std::min(list.find(',', start), list.size());
        std::string word(list.substr(start, comma - start));
        word.erase(0, std::min(word.find_first_not_of(' '), word.size()));
        word.erase(word.find_last_not_of(' ') + 1);
        for (char& c : word)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        int found = -1;
        for (int i = 0; i < 5; ++i)
            if (word == words[i]) found = i;
        if (found < 0 || seen[found]) return {false, false};
        seen[found] = true;
        if (comma == list.size()) return {true, seen[0]};
        start = comma + 1;
    }
}

void start_once() {
    if (!File.empty()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    char pattern[] = "/tmp/morv-fuzz-sound-XXXXXX";
    int fd = mkstemp(pattern);
    check(fd >= 0, "no scratch file");
    close(fd);
    File = pattern;
    std::atexit([] { unlink(File.c_str()); });
    flags_reset();
    low_memory_clear();
    memory_startup();
    strings_startup();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_once();
    const char* text = reinterpret_cast<const char*>(data);
    const void* newline = std::memchr(data, '\n', size);
    const size_t list_size = newline ? static_cast<size_t>(static_cast<const char*>(newline) - text) : size;
    std::FILE* f = std::fopen(File.c_str(), "wb");
    if (list_size < size) std::fwrite(text + list_size + 1, 1, size - list_size - 1, f);
    std::fclose(f);

    const Expected want = expected_of(std::string_view(text, list_size));
    uint32_t handle = sound_open(str_from_bytes(File.data(), static_cast<uint32_t>(File.size())),
                                 str_from_bytes(text, static_cast<uint32_t>(list_size)));
    const int32_t e = error_code.exchange(0);
    check(e == 0 || e == 5, "sound_open raised an error other than 5");
    check((e == 5) == !want.valid, "a capability list was judged otherwise than its words say");
    if (!want.valid)
        check(handle == 0, "a refused list still opened a sound");
    else if (handle != 0)
        check(want.sync ? handle >= 2 : handle == 1, "the handle does not follow SYNC");
    if (handle) {
        const double length = sound_length(handle);
        check(length == -1 || (length >= 0 && length < 3600), "a sound's length is no length");
        error_code.store(0);  // error 5 without LEN; the close must not find it pending
        sound_close(handle);
        sound_collect();
        error_code.store(0);
    }
    str_release_temps(1, 0);
    return 0;
}
