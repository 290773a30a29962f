// The texts of the runtime errors: ErrorMessageTable and the critical-error boxes.
#include "runtime/core/errors.h"
#include "runtime/core/errors_internal.h"

namespace {

struct ErrorMessage {
    int32_t number;
    const char* text;
};

const ErrorMessage ErrorMessageTable[] = {
    {error_next_without_for, "NEXT without FOR"},
    {error_syntax, "Syntax error"},
    {error_return_without_gosub, "RETURN without GOSUB"},
    {error_out_of_data, "Out of DATA"},
    {error_illegal_function_call, "Illegal function call"},
    {error_overflow, "Overflow"},
    {error_out_of_memory, "Out of memory"},
    {error_label_not_defined, "Label not defined"},
    {error_subscript_out_of_range, "Subscript out of range"},
    {error_duplicate_definition, "Duplicate definition"},
    {error_division_by_zero, "Division by zero"},
    {error_illegal_in_direct_mode, "Illegal in direct mode"},
    {error_type_mismatch, "Type mismatch"},
    {error_out_of_string_space, "Out of string space"},
    {error_string_formula_too_complex, "String formula too complex"},
    {error_cannot_continue, "Cannot continue"},
    {error_function_not_defined, "Function not defined"},
    {error_no_resume, "No RESUME"},
    {error_resume_without_error, "RESUME without error"},
    {error_device_timeout, "Device timeout"},
    {error_device_fault, "Device fault"},
    {error_for_without_next, "FOR without NEXT"},
    {error_out_of_paper, "Out of paper"},
    {error_while_without_wend, "WHILE without WEND"},
    {error_wend_without_while, "WEND without WHILE"},
    {error_duplicate_label, "Duplicate label"},
    {error_subprogram_not_defined, "Subprogram not defined"},
    {error_argument_count_mismatch, "Argument-count mismatch"},
    {error_array_not_defined, "Array not defined"},
    {error_variable_required, "Variable required"},
    {error_field_overflow, "FIELD overflow"},
    {error_internal, "Internal error"},
    {error_bad_file_name_or_number, "Bad file name or number"},
    {error_file_not_found, "File not found"},
    {error_bad_file_mode, "Bad file mode"},
    {error_file_already_open, "File already open"},
    {error_field_statement_active, "FIELD statement active"},
    {error_device_io, "Device I/O error"},
    {error_file_already_exists, "File already exists"},
    {error_bad_record_length, "Bad record length"},
    {error_disk_full, "Disk full"},
    {error_input_past_end_of_file, "Input past end of file"},
    {error_bad_record_number, "Bad record number"},
    {error_bad_file_name, "Bad file name"},
    {error_too_many_files, "Too many files"},
    {error_device_unavailable, "Device unavailable"},
    {error_communication_buffer_overflow, "Communication-buffer overflow"},
    {error_permission_denied, "Permission denied"},
    {error_disk_not_ready, "Disk not ready"},
    {error_disk_media, "Disk-media error"},
    {error_feature_unavailable, "Feature unavailable"},
    {error_rename_across_disks, "Rename across disks"},
    {error_path_file_access, "Path/File access error"},
    {error_path_not_found, "Path not found"},
    {error_invalid_handle, "Invalid handle"},
};

struct CriticalError {
    int32_t number;
    const char* text;
    const char* title;
};

// Errors that leave the runtime unable to go on: shown at once, then the end.
const CriticalError CriticalErrorTable[] = {
    {error_out_of_stack_space, "Out of stack space", "Critical Error"},
    {error_out_of_memory_1, "Out of memory", "Critical Error #1"},
    {error_cannot_find_dynamic_library, "Cannot find dynamic library file", "Critical Error"},
    {error_sub_not_in_dynamic_library, "Sub/Function does not exist in dynamic library", "Critical Error"},
    {error_out_of_memory_2, "Out of memory", "Critical Error #2"},
    {error_out_of_memory_3, "Out of memory", "Critical Error #3"},
    {error_out_of_memory_4, "Out of memory", "Critical Error #4"},
    {error_out_of_memory_5, "Out of memory", "Critical Error #5"},
    {error_out_of_memory_6, "Out of memory", "Critical Error #6"},
    {error_out_of_memory_7, "Out of memory", "Critical Error #7"},
    {error_out_of_memory_8, "Out of memory", "Critical Error #8"},
    {error_out_of_memory_9, "Out of memory", "Critical Error #9"},
    {error_out_of_memory_10, "Out of memory", "Critical Error #10"},
    {error_out_of_memory_11, "Out of memory", "Critical Error #11"},
    {error_out_of_memory_12, "Out of memory", "Critical Error #12"},
    {error_out_of_memory_13, "Out of memory", "Critical Error #13"},
    {error_out_of_memory_14, "Out of memory", "Critical Error #14"},
    {error_out_of_memory_15, "Out of memory", "Critical Error #15"},
    {error_out_of_memory_16, "Out of memory", "Critical Error #16"},
    {error_out_of_memory_17, "Out of memory", "Critical Error #17"},
};

const CriticalError* critical_entry(int32_t n) {
    for (const CriticalError& entry : CriticalErrorTable)
        if (entry.number == n) return &entry;
    return nullptr;
}

}  // namespace

const char* error_message(int32_t n) {
    for (const ErrorMessage& entry : ErrorMessageTable)
        if (entry.number == n) return entry.text;
    return "Unprintable error";
}

bool error_is_critical(int32_t n) { return critical_entry(n) != nullptr; }

const char* critical_error_text(int32_t n) {
    const CriticalError* entry = critical_entry(n);
    return entry ? entry->text : nullptr;
}

const char* critical_error_title(int32_t n) {
    const CriticalError* entry = critical_entry(n);
    return entry ? entry->title : nullptr;
}
