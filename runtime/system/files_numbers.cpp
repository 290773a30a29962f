// File numbers: the records with their free list, FileNumberTable, the
// number check and free-number query, close and the close-all, and the
// runtime errors that handle-layer results become.
#include "runtime/system/files.h"
#include "runtime/system/files_internal.h"
#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/platform/file_handle.h"
#include <cstdlib>
#include <memory>

using namespace files_detail;

namespace {

std::vector<std::unique_ptr<FileRecord>> FileRecords;
std::vector<uint32_t> FreeRecords;
uint64_t NextRecordId = 0;
// Indexed by file number from 1: the record index, or -1 when free.
std::vector<int32_t> FileNumberTable;
uint64_t WriteGeneration = 0;
const FileNetworkHandles* NetworkHandles = nullptr;

}  // namespace

namespace files_detail {

FileRecord* record_of(int32_t number) {
    if (number < 1 || static_cast<uint32_t>(number) >= FileNumberTable.size()) return nullptr;
    int32_t index = FileNumberTable[static_cast<uint32_t>(number)];
    return index < 0 ? nullptr : FileRecords[static_cast<uint32_t>(index)].get();
}

FileRecord* record_new() {
    uint32_t index;
    if (!FreeRecords.empty()) {
        index = FreeRecords.back();
        FreeRecords.pop_back();
    } else {
        index = static_cast<uint32_t>(FileRecords.size());
        FileRecords.push_back(std::make_unique<FileRecord>());
    }
    FileRecord* r = FileRecords[index].get();
    *r = FileRecord{};
    r->id = NextRecordId++;
    r->index = index;
    return r;
}

void record_free(FileRecord* r) {
    if (r->os_handle >= 0 && is_serial(*r))
        serial_close(r->os_handle);
    else if (r->os_handle >= 0)
        handle_close(r->os_handle);
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): record and read-ahead buffers: a failure is an error, not an exception
    std::free(r->record_buffer);
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): record and read-ahead buffers: a failure is an error, not an exception
    std::free(r->read_buffer);
    if (r->file_number > 0 && static_cast<uint32_t>(r->file_number) < FileNumberTable.size())
        FileNumberTable[static_cast<uint32_t>(r->file_number)] = -1;
    FreeRecords.push_back(r->index);
    uint32_t index = r->index;
    *r = FileRecord{};
    r->index = index;
}

void number_bind(int32_t number, FileRecord* r) {
    auto n = static_cast<uint32_t>(number);
    if (n >= FileNumberTable.size()) FileNumberTable.resize(n + 1, -1);
    FileNumberTable[n] = static_cast<int32_t>(r->index);
    r->file_number = number;
    r->open = 1;
}

uint64_t write_generation() { return WriteGeneration; }
void write_generation_bump() { ++WriteGeneration; }

bool is_serial(const FileRecord& r) { return r.serial.port != 0; }

int32_t open_error(int32_t result) {
    switch (result) {
    case handle_path_not_found:
        return error_path_not_found;
    case handle_denied:
        return error_permission_denied;
    case handle_device_error:
        return error_device_unavailable;
    case handle_bad_settings:
        return error_bad_file_name;
    default:
        return error_file_not_found;
    }
}

int32_t transfer_error(int32_t result) {
    switch (result) {
    case handle_bad:
        return error_invalid_handle;
    case handle_wrong_direction:
        return error_bad_file_mode;
    case handle_negative:
        return error_illegal_function_call;
    case handle_denied:
        return error_permission_denied;
    default:
        return error_path_file_access;
    }
}

int32_t length_error(int32_t result) {
    switch (result) {
    case handle_bad:
        return error_invalid_handle;
    case handle_wrong_direction:
        return error_bad_file_mode;
    default:
        return error_path_file_access;
    }
}

int32_t lock_error(int32_t result) {
    switch (result) {
    case handle_bad:
        return error_invalid_handle;
    case handle_negative:
        return error_illegal_function_call;
    case handle_denied:
        return error_permission_denied;
    default:
        return error_path_file_access;
    }
}

}  // namespace files_detail

// Nothing to prepare: the file-number table starts empty and grows with use.
void files_startup() {}

void files_shutdown() { file_close_all(); }

int32_t file_number_check(int32_t number) {
    if (number < 1) return -2;
    return record_of(number) ? 1 : 0;
}

int32_t file_free_number() {
    for (uint32_t n = 1; n < FileNumberTable.size(); ++n)
        if (FileNumberTable[n] < 0) return static_cast<int32_t>(n);
    return FileNumberTable.empty() ? 1 : static_cast<int32_t>(FileNumberTable.size());
}

// Closing never waits for a pending error: what was written reaches the file.
void file_close(int32_t number) {
    if (number < 0) {
        if (NetworkHandles) NetworkHandles->close(number);
        return;
    }
    if (FileRecord* r = record_of(number)) record_free(r);
}

void file_close_all() {
    if (NetworkHandles) NetworkHandles->close_all();
    for (uint32_t n = 1; n < FileNumberTable.size(); ++n)
        if (FileRecord* r = record_of(static_cast<int32_t>(n))) record_free(r);
}

void file_network_attach(const FileNetworkHandles* handles) { NetworkHandles = handles; }

int32_t files_detail::network_eof(int32_t number) {
    if (NetworkHandles) return NetworkHandles->eof(number);
    runtime_error(error_bad_file_name_or_number);
    return 0;
}

int file_os_handle(int32_t number) {
    FileRecord* r = record_of(number);
    return r ? r->os_handle : -1;
}
