// Transfers and queries by file number: raw reads and writes, the text
// reader's bytes and line ends, the end, length, seek and position queries,
// and the lock statements with their record arithmetic.
#include "runtime/system/files.h"
#include "runtime/system/files_internal.h"
#include "runtime/core/errors.h"
#include "runtime/platform/file_handle.h"
#include <time.h>
#include <cstdlib>
#include <cstring>

using namespace files_detail;

namespace {

constexpr uint8_t carriage_return = 13, line_feed = 10;

// The open record of a number, or null with error 52.
FileRecord* open_record(int32_t number) {
    FileRecord* r = record_of(number);
    if (!r) runtime_error(error_bad_file_name_or_number);
    return r;
}

// Moves to a byte position first when one is given (-1: stay).
bool seek_first(FileRecord& r, int64_t position) {
    if (position == -1) return true;
    if (position < 0) {
        runtime_error(transfer_error(handle_negative));
        return false;
    }
    if (is_serial(r)) {
        runtime_error(transfer_error(handle_wrong_direction));
        return false;
    }
    r.position = static_cast<uint64_t>(position);
    return true;
}

// Text transfer with LF: a line feed goes out after every carriage return.
int32_t serial_write_text(FileRecord& r, const uint8_t* bytes, uint64_t length, uint64_t* done) {
    *done = 0;
    uint64_t start = 0;
    for (uint64_t i = 0; i <= length; ++i) {
        if (i < length && bytes[i] != carriage_return) continue;
        uint64_t part = i < length ? i + 1 - start : length - start;
        uint64_t moved = 0;
        int32_t result = serial_write(r.os_handle, bytes + start, part, r.serial.cs_ms, &moved);
        *done += moved;
        if (result != handle_ok) return result;
        if (i < length) {
            static const uint8_t lf = line_feed;
            result = serial_write(r.os_handle, &lf, 1, r.serial.cs_ms, &moved);
            if (result != handle_ok) return result;
        }
        start = i + 1;
    }
    return handle_ok;
}

// The coarse clock costs a tenth of the fine one, which would double the cost
// of a byte; it runs a tick behind at most.
int64_t steady_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The next byte for the text reader, through the read-ahead: 0-255, -1 at the
// end, or a negative handle result below -1.
int32_t next_byte(FileRecord& r, int32_t* failure) {
    *failure = handle_ok;
    if (is_serial(r)) {
        if (r.pushed_back >= 0) {
            int32_t b = r.pushed_back;
            r.pushed_back = -1;
            return b;
        }
        uint8_t b;
        uint64_t done = 0;
        *failure = serial_read(r.os_handle, &b, 1, r.serial.ds_ms, &done);
        if (*failure == handle_short_read) *failure = handle_ok;
        return done ? b : -1;
    }
    bool fresh = r.read_buffer && r.read_generation == write_generation() && r.position >= r.read_base &&
        r.position < r.read_base + r.read_count;
    const int64_t now = steady_ns();
    if (!fresh) {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): record and read-ahead buffers: a failure is an error, not an exception
        if (!r.read_buffer) r.read_buffer = static_cast<uint8_t*>(std::malloc(read_ahead_size));
        if (!r.read_buffer) {
            *failure = handle_io_fault;
            return -1;
        }
        uint64_t done = 0;
        int32_t result = handle_read_ahead(r.os_handle, r.position, r.read_buffer, read_ahead_size, &done);
        r.read_base = r.position;
        r.read_count = static_cast<uint32_t>(done);
        r.read_generation = write_generation();
        r.read_looked_ns = now;
        if (result != handle_ok && result != handle_short_read) *failure = result;
        if (done == 0) return -1;
    } else if (now - r.read_looked_ns >= read_look_ns) {
        // Other programs lock without telling this one: the rest of what was
        // read ahead is served only up to the first byte they now hold.
        uint64_t rest = r.read_base + r.read_count - r.position;
        uint64_t free_bytes = handle_read_allowed(r.os_handle, r.position, rest);
        r.read_looked_ns = now;
        if (free_bytes == 0) {
            *failure = handle_denied;
            return -1;
        }
        r.read_count = static_cast<uint32_t>(r.position - r.read_base + free_bytes);
    }
    return r.read_buffer[r.position - r.read_base];
}

void step_back(FileRecord& r, int32_t byte) {
    if (is_serial(r))
        r.pushed_back = static_cast<int16_t>(byte);
    else
        --r.position;
}

// The byte-position range of a lock statement, or false after raising 5.
bool lock_range(const FileRecord& r, int64_t first, int64_t last, int32_t given, uint64_t* offset, uint64_t* length) {
    bool has_first = given & 1, has_last = given & 2;
    if ((has_first && first < 1) || (has_last && last < 1)) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    *offset = 0;
    *length = handle_lock_limit;
    if (r.mode > file_mode_binary || (!has_first && !has_last)) return true;
    uint64_t unit = r.mode == file_mode_random ? r.record_length : 1;
    uint64_t from = has_first ? static_cast<uint64_t>(first) - 1 : 0;
    uint64_t to = has_last ? static_cast<uint64_t>(last) : from + 1;  // records, exclusive
    if (to <= from) {
        runtime_error(lock_error(handle_negative));
        return false;
    }
    uint64_t limit_records = handle_lock_limit / unit;
    if (from >= limit_records) {
        runtime_error(error_illegal_function_call);
        return false;
    }
    *offset = from * unit;
    *length = (to > limit_records ? limit_records : to) * unit - *offset;
    return true;
}

}  // namespace

int64_t file_raw_write(int32_t number, int64_t position, const void* buffer, uint64_t length) {
    if (runtime_error_pending()) return 0;
    FileRecord* r = open_record(number);
    if (!r) return 0;
    if (!r->can_write) return runtime_error(error_path_file_access), 0;
    if (!seek_first(*r, position)) return 0;
    write_generation_bump();
    uint64_t done = 0;
    int32_t result;
    if (!is_serial(*r))
        result = handle_write_at(r->os_handle, r->position, buffer, length, &done);
    else if (r->serial.asc && r->serial.lf)
        result = serial_write_text(*r, static_cast<const uint8_t*>(buffer), length, &done);
    else
        result = serial_write(r->os_handle, buffer, length, r->serial.cs_ms, &done);
    r->position += done;
    if (result != handle_ok) runtime_error(transfer_error(result));
    return static_cast<int64_t>(done);
}

int64_t file_raw_read(int32_t number, int64_t position, void* buffer, uint64_t length) {
    if (runtime_error_pending()) return 0;
    FileRecord* r = open_record(number);
    if (!r) return 0;
    if (!r->can_read) return runtime_error(error_path_file_access), 0;
    if (!seek_first(*r, position)) return 0;
    uint64_t done = 0;
    int32_t result = is_serial(*r) ? serial_read(r->os_handle, buffer, length, r->serial.ds_ms, &done)
                                   : handle_read_at(r->os_handle, r->position, buffer, length, &done);
    if (result != handle_ok && result != handle_short_read) {
        runtime_error(transfer_error(result));
        return 0;
    }
    r->position += done;
    r->end_reached = done < length;
    if (done < length) std::memset(static_cast<uint8_t*>(buffer) + done, 0, length - done);
    return static_cast<int64_t>(done);
}

int32_t file_read_byte(int32_t number) {
    if (runtime_error_pending()) return -2;
    FileRecord* r = open_record(number);
    if (!r) return -2;
    if (!r->can_read) return runtime_error(error_path_file_access), -2;
    int32_t failure;
    int32_t b = next_byte(*r, &failure);
    if (failure != handle_ok) return runtime_error(transfer_error(failure)), -2;
    if (b < 0 || b == file_end_mark) {
        // The mark stays where it is: every later read meets it again.
        r->end_reached = 1;
        if (b == file_end_mark && is_serial(*r)) r->pushed_back = file_end_mark;
        return -1;
    }
    ++r->position;
    return b;
}

int32_t file_skip_field_end(int32_t number) {
    int32_t b;
    do b = file_read_byte(number);
    while (b == ' ');
    if (b < 0) return b;
    FileRecord* r = record_of(number);
    if (b == ',') return 0;
    if (b != carriage_return && b != line_feed) {
        step_back(*r, b);
        return 2;
    }
    int32_t pair = b == carriage_return ? line_feed : carriage_return;
    int32_t next = file_read_byte(number);
    if (next == -2) return -2;
    if (next >= 0 && next != pair) step_back(*r, next);
    return 1;
}

int32_t file_eof(int32_t number) {
    if (number < 0) return network_eof(number);
    FileRecord* r = open_record(number);
    if (!r) return 0;
    if (r->end_reached) return -1;
    if (r->mode != file_mode_input || is_serial(*r)) return 0;
    uint64_t size = 0;
    handle_size(r->os_handle, &size);
    return r->position >= size ? -1 : 0;
}

int64_t file_length(int32_t number) {
    if (runtime_error_pending()) return 0;
    FileRecord* r = open_record(number);
    if (!r) return 0;
    uint64_t size = 0;
    int32_t result = handle_size(r->os_handle, &size);
    if (result != handle_ok) return runtime_error(length_error(result)), 0;
    return static_cast<int64_t>(size);
}

void file_seek(int32_t number, int64_t position) {
    if (runtime_error_pending()) return;
    FileRecord* r = open_record(number);
    if (!r) return;
    if (position < 1) return runtime_error(error_bad_record_number);
    if (is_serial(*r)) return runtime_error(error_bad_file_mode);
    uint64_t unit = r->mode == file_mode_random ? r->record_length : 1;
    uint64_t index = static_cast<uint64_t>(position) - 1;
    if (index > static_cast<uint64_t>(INT64_MAX) / unit) return runtime_error(error_bad_record_number);
    r->position = index * unit;
    // A program that seeks back reads on: the end lies ahead again.
    r->end_reached = 0;
}

int64_t file_seek_position(int32_t number) {
    if (runtime_error_pending()) return 0;
    FileRecord* r = open_record(number);
    if (!r) return 0;
    uint64_t p = r->mode == file_mode_random ? r->position / r->record_length + 1 : r->position + 1;
    return static_cast<int64_t>(p);
}

int64_t file_location(int32_t number) {
    if (runtime_error_pending()) return 0;
    FileRecord* r = open_record(number);
    if (!r) return 0;
    if (is_serial(*r)) return serial_bytes_waiting(r->os_handle) + (r->pushed_back >= 0 ? 1 : 0);
    uint64_t p = r->position;
    if (r->mode == file_mode_random) return static_cast<int64_t>(p / r->record_length + 1);
    if (r->mode == file_mode_binary) return static_cast<int64_t>(p);
    return p == 0 ? 1 : static_cast<int64_t>((p - 1) / 128 + 1);
}

void file_lock(int32_t number, int64_t first, int64_t last, int32_t given) {
    if (runtime_error_pending()) return;
    FileRecord* r = open_record(number);
    uint64_t offset, length;
    if (!r || !lock_range(*r, first, last, given, &offset, &length)) return;
    if (is_serial(*r)) return runtime_error(lock_error(handle_wrong_direction));
    // A handle's ranges do not overlap: a second lock over a held byte fails
    // as another handle's would.
    for (const FileLockRange& held : r->locks)
        if (offset < held.offset + held.length && held.offset < offset + length)
            return runtime_error(lock_error(handle_denied));
    int32_t result = handle_lock(r->os_handle, offset, length);
    if (result != handle_ok) return runtime_error(lock_error(result));
    r->locks.push_back({offset, length});
    // Bytes other numbers read ahead before the lock are theirs no longer.
    write_generation_bump();
}

void file_unlock(int32_t number, int64_t first, int64_t last, int32_t given) {
    if (runtime_error_pending()) return;
    FileRecord* r = open_record(number);
    uint64_t offset, length;
    if (!r || !lock_range(*r, first, last, given, &offset, &length)) return;
    // Only a range locked as it is named unlocks; anything else is not locked.
    for (size_t i = 0; i < r->locks.size(); ++i) {
        if (r->locks[i].offset != offset || r->locks[i].length != length) continue;
        int32_t result = handle_unlock(r->os_handle, offset, length);
        if (result != handle_ok) return runtime_error(lock_error(result));
        r->locks.erase(r->locks.begin() + static_cast<long>(i));
        return;
    }
    runtime_error(lock_error(handle_denied));
}

uint8_t* file_record_buffer(int32_t number, uint64_t* length) {
    FileRecord* r = record_of(number);
    *length = r && r->record_buffer ? r->record_length : 0;
    return r ? r->record_buffer : nullptr;
}
