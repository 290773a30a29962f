// The open statements on arbitrary modes, clauses, numbers and names, in a
// scratch folder: each open ends open or with one of the open statement's
// errors, an opened number takes a write and a read-back where its direction
// allows, and the close-all leaves every number free.
//
// Input: up to four opens separated by 0xFF; each is 7 header bytes (mode,
// access, lock, number, record length low and high, flags: 1 length given,
// 2 the legacy open with the mode byte as its letter, 0x80 an empty letter)
// and the name.
// Names have '/' turned into '_' and lie in the folder, so nothing outside it
// is made. (The folder is named in full: libFuzzer reads inputs by relative
// path while it runs.)
#include <dirent.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/system/files.h"
#include "runtime/system/files_internal.h"

namespace {

std::string Folder;

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "files_open_fuzz: %s\n", what);
    std::abort();
}

bool open_error_expected(int32_t e) {
    for (int32_t ok : {0, 5, 52, 53, 54, 55, 64, 68, 70, 75, 76})
        if (e == ok) return true;
    return false;
}

// The folder holds only the two files each run starts from.
void folder_reset() {
    if (DIR* d = opendir(Folder.c_str())) {
        while (dirent* e = readdir(d)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            std::string p = Folder + "/" + e->d_name;
            if (unlink(p.c_str()) != 0) rmdir(p.c_str());
        }
        closedir(d);
    }
    for (const char* name : {"DATA.TXT", "MARKED.TXT"}) {
        std::FILE* f = std::fopen((Folder + "/" + name).c_str(), "wb");
        std::fputs(name[0] == 'M' ? "\x1ahidden" : "line one\r\nline two\r\n", f);
        std::fclose(f);
    }
}

void start_once() {
    if (!Folder.empty()) return;
    char pattern[] = "/tmp/morv-fuzz-files-XXXXXX";
    check(mkdtemp(pattern) != nullptr, "no scratch folder");
    Folder = pattern;
    std::atexit([] {
        folder_reset();
        for (const char* name : {"DATA.TXT", "MARKED.TXT"}) unlink((Folder + "/" + name).c_str());
        rmdir(Folder.c_str());
    });
    // Serial ports name devices that do not exist: an open fails as a device would.
    for (int n = 1; n <= 255; ++n) {
        std::string var = "MORV_COM" + std::to_string(n);
        setenv(var.c_str(), (Folder + "/no-port").c_str(), 1);
    }
    flags_reset();
    low_memory_clear();
    memory_startup();
    strings_startup();
}

void open_one(const uint8_t* p, size_t n) {
    if (n < 7) return;
    const int32_t mode = p[0] % 8 - 1, access = p[1] % 6 - 1, lock = p[2] % 7 - 1, number = p[3] % 6 - 1;
    const int64_t record_length = static_cast<int16_t>(p[4] | p[5] << 8);
    const int32_t given = p[6] & 1;
    std::string name(reinterpret_cast<const char*>(p + 7), n - 7);
    for (char& c : name)
        if (c == '/') c = '_';
    // Serial-port names stay as they are (their devices are in the folder too).
    if (!files_detail::serial_settings_named(name.data(), name.size())) name = Folder + "/" + name;
    const bool was_open = number >= 1 && file_number_check(number) == 1;
    StrDesc* s = str_from_bytes(name.data(), static_cast<uint32_t>(name.size()));
    if (p[6] & 2) {
        const char letter = static_cast<char>(p[0]);  // the legacy open has a letter for its mode
        file_open_legacy(str_from_bytes(&letter, p[6] & 0x80 ? 0 : 1), number, s, record_length, given);
    } else {
        file_open(s, mode, access, lock, number, record_length, given);
    }
    const int32_t e = error_code.exchange(0);
    check(open_error_expected(e), "an open raised an error the open statement does not give");
    if (e == 0) {
        check(number >= 1 && file_number_check(number) == 1, "an open without error left the number free");
        check(!was_open, "an open of a number already open succeeded");
        // A write then a read of what was written; the direction errors are fine.
        if (file_raw_write(number, 1, "xyz", 3) == 3 && error_code.load() == 0) {
            char back[3] = {};
            file_raw_read(number, 1, back, 3);
            check(error_code.load() != 0 || std::memcmp(back, "xyz", 3) == 0, "a read-back differs");
        }
        error_code.store(0);
    }
    str_release_temps(1, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    start_once();
    folder_reset();
    size_t start = 0;
    for (int i = 0; i < 4 && start <= size; ++i) {
        const void* bar = size > start ? std::memchr(data + start, 0xFF, size - start) : nullptr;
        size_t end = bar ? static_cast<size_t>(static_cast<const uint8_t*>(bar) - data) : size;
        open_one(data + start, end - start);
        start = end + 1;
    }
    file_close_all();
    for (int32_t n = 1; n <= 4; ++n) check(file_number_check(n) == 0, "the close-all left a number open");
    error_code.store(0);
    return 0;
}
