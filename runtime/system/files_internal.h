// The file-number tables shared by files_numbers.cpp (records, numbers,
// close), files_open.cpp (the open statements) and files_io.cpp (transfers,
// queries, locks). Not for use outside these files.
#pragma once
#include <cstdint>
#include <vector>
#include "runtime/platform/serial.h"
#include "runtime/system/files.h"

// --- For the rest of the runtime and the tests ---
// Start-up and shutdown: the shutdown flushes and closes every file number
// (and, through the network handles, every connection).
void files_startup();
void files_shutdown();

// The system's descriptor behind a number, or -1 (tests look at its settings).
int file_os_handle(int32_t number);

// Network handles share the close statement and the end-of-file query through
// negative numbers; the network fills this in at its start.
struct FileNetworkHandles {
    void (*close_all)();
    void (*close)(int32_t handle);
    int32_t (*eof)(int32_t handle);
};
void file_network_attach(const FileNetworkHandles* handles);

// --- Shared by the subject's own files ---
struct FileLockRange {
    uint64_t offset, length;
};

// One per open handle; records are reused through a free list.
struct FileRecord {
    uint64_t id = 0;
    uint8_t open = 0;
    uint8_t can_read = 0, can_write = 0;
    uint8_t lock_read = 0, lock_write = 0;
    uint64_t position = 0;
    uint8_t end_reached = 0;
    int32_t file_number = 0;
    uint8_t mode = 0;
    uint64_t record_length = 0;
    uint8_t* record_buffer = nullptr;  // random access: one zeroed record
    // The byte reader's read-ahead: bytes from read_base, valid while no write
    // or lock went through any file number since it was filled, and served
    // only while other programs' locks were looked at within read_look_ns.
    uint8_t* read_buffer = nullptr;
    uint64_t read_base = 0;
    uint32_t read_count = 0;
    uint64_t read_generation = 0;
    int64_t read_looked_ns = 0;  // steady clock of the last look
    int64_t column = 1;
    SerialSettings serial;  // serial.port 0: not a serial port
    int16_t pushed_back = -1;  // serial: the byte stepped back over
    std::vector<FileLockRange> locks;  // ranges this handle holds
    int os_handle = -1;
    uint32_t index = 0;  // its place among the records
};

namespace files_detail {

constexpr uint32_t read_ahead_size = 4096;
// How long bytes read ahead are served without asking again whether another
// program locked them, on the system's coarse monotonic clock: a lock older
// than this plus one tick of that clock keeps the byte reader out.
constexpr int64_t read_look_ns = 1000000;

// The open record of a number, or null.
FileRecord* record_of(int32_t number);
// A fresh record (from the free list or new) with the next id.
FileRecord* record_new();
// Frees the record's buffers, closes its handle and unmaps its number.
void record_free(FileRecord* record);
// Maps an open record to its number (the table grows to hold it).
void number_bind(int32_t number, FileRecord* record);
// Counts writes and locks through any number: a read-ahead filled before one is stale.
uint64_t write_generation();
void write_generation_bump();

bool is_serial(const FileRecord& r);
// The end-of-file query of a negative number: the network's, or error 52.
int32_t network_eof(int32_t number);

// Handle-layer results of each statement family as runtime errors.
int32_t open_error(int32_t result);
int32_t transfer_error(int32_t result);
int32_t length_error(int32_t result);
int32_t lock_error(int32_t result);

// The serial-port setting string: 0 and the settings, or handle_bad_settings.
// Plain text in, no runtime state: the fuzz target calls it alone.
int32_t serial_settings_parse(const char* text, uint64_t length, SerialSettings* settings);
// True when the name is to be read as a serial-port setting string.
bool serial_settings_named(const char* text, uint64_t length);
// The device of a port: MORV_COMn when set, else /dev/ttyS(n-1).
void serial_device_path(uint8_t port, char* path, uint32_t size);

}  // namespace files_detail
