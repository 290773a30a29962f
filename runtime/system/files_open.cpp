// The open statements: mode, access and lock clauses, the retry of random and
// binary files with less access, serial ports, and the legacy mode letters.
#include "runtime/system/files.h"
#include "runtime/system/directories.h"
#include "runtime/system/directories_internal.h"
#include "runtime/system/files_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/strings.h"
#include "runtime/platform/file_handle.h"
#include <cstdlib>
#include <string>

using namespace files_detail;

namespace {

struct Directions {
    bool read, write;
};

Directions directions_of(int32_t mode, int32_t access) {
    switch (access) {
    case 1:
        return {true, true};
    case 2:
        return {true, false};
    case 3:
        return {false, true};
    default:
        break;
    }
    if (mode == file_mode_input) return {true, false};
    if (mode == file_mode_output || mode == file_mode_append) return {false, true};
    return {true, true};
}

// Random and binary files without an access clause fall back to reading
// only, then writing only; the first failure is the one reported.
int32_t open_file(const std::string& name, int32_t mode, int32_t access, int32_t lock, FileRecord& r) {
    // A name as the directory listing showed it (upper-cased, or shortened)
    // opens the file it stands for.
    const std::string path = dir_resolve_name(name);
    Directions d = directions_of(mode, access);
    HandleOpenRequest request;
    request.read = d.read;
    request.write = d.write;
    request.deny_read = lock == 2 || lock == 3;
    request.deny_write = lock == 2 || lock == 4;
    request.create = mode != file_mode_input;
    request.truncate = mode == file_mode_output;
    int32_t first = handle_open(path.c_str(), request, &r.os_handle);
    if (first == handle_ok || access != 0 || (mode != file_mode_random && mode != file_mode_binary)) {
        r.can_read = d.read;
        r.can_write = d.write;
        return first;
    }
    for (Directions fallback : {Directions{true, false}, Directions{false, true}}) {
        request.read = fallback.read;
        request.write = fallback.write;
        if (handle_open(path.c_str(), request, &r.os_handle) == handle_ok) {
            r.can_read = fallback.read;
            r.can_write = fallback.write;
            return handle_ok;
        }
    }
    return first;
}

int32_t open_serial(const std::string& settings, int32_t mode, int32_t access, FileRecord& r) {
    int32_t parsed = serial_settings_parse(settings.data(), settings.size(), &r.serial);
    if (parsed != handle_ok) return parsed;
    char device[4096];
    serial_device_path(r.serial.port, device, sizeof device);
    int32_t opened = serial_open(device, r.serial, &r.os_handle);
    if (opened != handle_ok) {
        r.serial.port = 0;
        return opened;
    }
    Directions d = directions_of(mode, access);
    r.can_read = d.read;
    r.can_write = d.write;
    return handle_ok;
}

// What the mode sets up once the handle is open: the record buffer, the end
// position of an append, the end of an input file that starts with the mark.
bool settle(FileRecord& r, int32_t mode, uint64_t record_length) {
    r.mode = static_cast<uint8_t>(mode == file_mode_append ? file_mode_output : mode);
    r.column = 1;
    if (mode == file_mode_random) {
        r.record_length = record_length;
        if (record_length > SIZE_MAX) return false;
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): record and read-ahead buffers: a failure is an error, not an exception
        r.record_buffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(record_length)));
        if (!r.record_buffer) return false;
    }
    if (is_serial(r)) return true;
    uint64_t size = 0;
    handle_size(r.os_handle, &size);
    if (mode == file_mode_append) r.position = size;
    if (mode == file_mode_input && size > 0) {
        uint8_t first = 0;
        uint64_t done = 0;
        if (handle_read_at(r.os_handle, 0, &first, 1, &done) == handle_ok && first == file_end_mark) r.end_reached = 1;
    }
    return true;
}

}  // namespace

void file_open(StrDesc* name, int32_t mode, int32_t access, int32_t lock, int32_t number, int64_t record_length,
               int32_t record_length_given) {
    std::string path(str_view(name));
    str_consume(name);
    if (runtime_error_pending()) return;
    if (mode == 0) mode = file_mode_random;
    if (mode < file_mode_random || mode > file_mode_append || access < 0 || access > 3 || lock < 0 || lock > 4)
        return runtime_error(error_illegal_function_call);
    if (record_length_given && record_length <= 0) return runtime_error(error_illegal_function_call);
    if (number < 1 || number > file_number_limit) return runtime_error(error_bad_file_name_or_number);
    if (record_of(number)) return runtime_error(error_file_already_open);
    // The system's names end at the first zero byte: one inside would open
    // another file than the one named.
    if (path.find('\0') != std::string::npos) return runtime_error(error_bad_file_name);
    FileRecord* r = record_new();
    bool serial = serial_settings_named(path.data(), path.size());
    int32_t result = serial ? open_serial(path, mode, access, *r) : open_file(path, mode, access, lock, *r);
    if (result != handle_ok) {
        record_free(r);
        return runtime_error(open_error(result));
    }
    r->lock_read = lock == 2 || lock == 3;
    r->lock_write = lock == 2 || lock == 4;
    uint64_t length = record_length_given ? static_cast<uint64_t>(record_length) : file_default_record_length;
    if (!settle(*r, mode, length)) {
        record_free(r);
        return runtime_error(error_out_of_memory);
    }
    number_bind(number, r);
    write_generation_bump();
}

void file_open_legacy(StrDesc* mode_letter, int32_t number, StrDesc* name, int64_t record_length,
                      int32_t record_length_given) {
    std::string_view letter = str_view(mode_letter);
    char first = letter.empty() ? 0 : letter[0];
    str_consume(mode_letter);
    if (runtime_error_pending()) return str_consume(name);
    int32_t mode = 0;
    switch (first) {
    case 'R':
    case 'r':
        mode = file_mode_random;
        break;
    case 'B':
    case 'b':
        mode = file_mode_binary;
        break;
    case 'I':
    case 'i':
        mode = file_mode_input;
        break;
    case 'O':
    case 'o':
        mode = file_mode_output;
        break;
    case 'A':
    case 'a':
        mode = file_mode_append;
        break;
    default:
        str_consume(name);
        return runtime_error(error_bad_file_mode);
    }
    file_open(name, mode, 0, 0, number, record_length, record_length_given);
}
