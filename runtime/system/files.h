// File numbers: open, close, raw transfers, the text reader's byte and
// line-end steps, the end, length, seek and position queries, locks and the
// free-number query of compiled programs. Files and serial ports ("COMn:").
// Program thread only; the close-all also runs at shutdown and restart.
#pragma once
#include <cstdint>

struct StrDesc;

// Modes of the open statement (0 is random access too) and as stored.
enum FileMode : uint8_t {
    file_mode_random = 1,
    file_mode_binary = 2,
    file_mode_input = 3,
    file_mode_output = 4,
    file_mode_append = 5,  // stored as output once open
};
// The end-of-file mark of text files.
constexpr uint8_t file_end_mark = 26;
// The record length of random access when none is given.
constexpr uint64_t file_default_record_length = 128;
// The highest file number; a larger one is a bad file number (52).
constexpr int32_t file_number_limit = 1 << 20;

// -2 when below 1, 1 when open, 0 when free.
int32_t file_number_check(int32_t number);
// The lowest free number from 1.
int32_t file_free_number();

// The open statement. `name` is consumed. mode 0-5, access 0-3 (1 read-write,
// 2 read, 3 write), lock 0-4 (1 shared, 2 lock read-write, 3 lock read,
// 4 lock write). Errors 5, 52, 53, 55, 64, 68, 70, 76.
void file_open(StrDesc* name, int32_t mode, int32_t access, int32_t lock, int32_t number, int64_t record_length,
               int32_t record_length_given);
// The legacy open: "R", "B", "I", "O" or "A" (first letter, any case) selects
// the mode, anything else is error 54. Both strings are consumed.
void file_open_legacy(StrDesc* mode_letter, int32_t number, StrDesc* name, int64_t record_length,
                      int32_t record_length_given);

// Closes one number (negative: a network handle); a number not open is ignored.
void file_close(int32_t number);
// Closes every network handle, then every file number from 1 up.
void file_close_all();

// Raw transfers at a byte position from 0 (-1: where the last one ended). A
// short read zero-fills the rest and sets the end flag; the bytes moved are
// returned. Errors 5, 52, 54, 70, 75, 258.
int64_t file_raw_write(int32_t number, int64_t position, const void* buffer, uint64_t length);
int64_t file_raw_read(int32_t number, int64_t position, void* buffer, uint64_t length);

// The text reader's byte: 0-255; -1 at the end or at the end mark (which is
// not passed: the next read meets it again); -2 after raising an error.
int32_t file_read_byte(int32_t number);
// After a value: skips spaces, then takes a comma (0) or one line end (1: CR
// LF, LF CR, or a lone CR or LF); any other byte is left for the next read
// (2). -1 at the end, -2 after an error.
int32_t file_skip_field_end(int32_t number);

// The end-of-file query: -1 or 0 (negative numbers ask a network handle).
int32_t file_eof(int32_t number);
// The size in bytes.
int64_t file_length(int32_t number);
// The seek statement: a record (random access) or a byte from 1.
void file_seek(int32_t number, int64_t position);
// The seek function: the record or byte (from 1) the next transfer starts at.
int64_t file_seek_position(int32_t number);
// The location function: bytes waiting on a serial port, else the position
// in records, bytes or 128-byte blocks by mode.
int64_t file_location(int32_t number);

// The lock and unlock statements; `given` bit 0 first, bit 1 last.
void file_lock(int32_t number, int64_t first, int64_t last, int32_t given);
void file_unlock(int32_t number, int64_t first, int64_t last, int32_t given);

// The record buffer of a random-access file (null otherwise), for the field
// statements.
uint8_t* file_record_buffer(int32_t number, uint64_t* length);
