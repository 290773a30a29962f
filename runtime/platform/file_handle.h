// The file handle layer: opening, reading, writing, sizing and locking files
// through the system's descriptors. Every call answers 0 (or a count through
// its out-argument) on success and a negative HandleResult otherwise.
#pragma once
#include <cstdint>

enum HandleResult : int32_t {
    handle_ok = 0,
    handle_short_write = -1,
    handle_bad = -2,  // bad or closed handle
    handle_wrong_direction = -3,  // not allowed in this direction, or a seek that failed
    handle_negative = -4,  // negative position or length
    handle_open_failed = -5,
    handle_path_not_found = -6,
    handle_denied = -7,  // access denied, sharing or lock violation
    handle_device_error = -8,  // no such drive or device, or a port that would not open
    handle_io_fault = -9,  // too many open files, read or write fault
    handle_short_read = -10,  // the end of the file came first
    handle_bad_settings = -11,  // a serial-port setting string that does not parse
};

// Byte-range locks and transfers live below this offset (2 EiB); the share
// marks of the open files sit above it, out of the way of every real range.
constexpr uint64_t handle_lock_limit = 1ull << 61;

struct HandleOpenRequest {
    bool read = false, write = false;  // the access wanted
    bool deny_read = false, deny_write = false;  // what other opens may not do
    bool create = false;  // make the file when it is missing
    bool truncate = false;  // empty it once the share check passed
};

// Opens a file. Other opens of it (by this process or another that uses the
// same marks) that conflict with the access or share asked for give
// handle_denied; a missing file is handle_open_failed, a missing folder
// handle_path_not_found.
int32_t handle_open(const char* path, const HandleOpenRequest& request, int* fd);
int32_t handle_close(int fd);

// Transfers at a byte position. A range that another open holds locked is
// handle_denied and nothing moves. A read that meets the end is
// handle_short_read, *done the bytes read; a write that stops early is
// handle_short_write.
int32_t handle_read_at(int fd, uint64_t position, void* buffer, uint64_t length, uint64_t* done);
int32_t handle_write_at(int fd, uint64_t position, const void* buffer, uint64_t length, uint64_t* done);
// A read-ahead: as handle_read_at, but stops before the first byte that
// another open holds locked (handle_denied only when that is the first byte).
int32_t handle_read_ahead(int fd, uint64_t position, void* buffer, uint64_t length, uint64_t* done);
// How many of the bytes [position, position + length) may be read now, up to
// the first that another open holds locked against readers (0 when that is
// the first). A read-ahead asks again before it serves bytes it has held for
// a while, since other processes lock without telling it.
uint64_t handle_read_allowed(int fd, uint64_t position, uint64_t length);

int32_t handle_size(int fd, uint64_t* size);

// Byte-range locks that keep every other open from reading, writing and
// locking the range, whatever the descriptor may do. A range another open
// holds is handle_denied; the caller keeps the ranges.
int32_t handle_lock(int fd, uint64_t offset, uint64_t length);
int32_t handle_unlock(int fd, uint64_t offset, uint64_t length);

// Before a regular file is removed or renamed: handle_denied while an open of
// it (here or in another process) denies reading or writing to others.
// Otherwise handle_ok, and *guard is a descriptor that keeps such opens out
// until the caller closes it (handle_close), or -1 when it is not a regular
// file or could not be opened. A file we may neither read nor write is looked
// at through the system's list of locks instead, without a guard: refused
// while a deny mark is listed on it, or when the list cannot be read.
int32_t handle_removal_claim(const char* path, int* guard);
