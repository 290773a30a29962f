// The runtime's failure channel: the names of the error numbers, numbered
// runtime errors recorded for the statement check, critical errors that end the
// process, and the statement check itself, where the program thread pauses,
// parks, reports and runs event traps.
#pragma once
#include <atomic>
#include <cstdint>
#include "runtime/core/flags.h"

// The numbers of the runtime errors, named after their messages. The critical
// ones (256 and up) end the process with their box; the seventeen "Out of
// memory" boxes are told apart by their titles, "Critical Error #1" to "#17".
enum RuntimeError : int32_t {
    error_next_without_for = 1,
    error_syntax = 2,
    error_return_without_gosub = 3,
    error_out_of_data = 4,
    error_illegal_function_call = 5,
    error_overflow = 6,
    error_out_of_memory = 7,
    error_label_not_defined = 8,
    error_subscript_out_of_range = 9,
    error_duplicate_definition = 10,
    error_division_by_zero = 11,
    error_illegal_in_direct_mode = 12,
    error_type_mismatch = 13,
    error_out_of_string_space = 14,
    error_string_formula_too_complex = 16,
    error_cannot_continue = 17,
    error_function_not_defined = 18,
    error_no_resume = 19,
    error_resume_without_error = 20,
    error_device_timeout = 24,
    error_device_fault = 25,
    error_for_without_next = 26,
    error_out_of_paper = 27,
    error_while_without_wend = 29,
    error_wend_without_while = 30,
    error_duplicate_label = 33,
    error_subprogram_not_defined = 35,
    error_argument_count_mismatch = 37,
    error_array_not_defined = 38,
    error_variable_required = 40,
    error_field_overflow = 50,
    error_internal = 51,
    error_bad_file_name_or_number = 52,
    error_file_not_found = 53,
    error_bad_file_mode = 54,
    error_file_already_open = 55,
    error_field_statement_active = 56,
    error_device_io = 57,
    error_file_already_exists = 58,
    error_bad_record_length = 59,
    error_disk_full = 61,
    error_input_past_end_of_file = 62,
    error_bad_record_number = 63,
    error_bad_file_name = 64,
    error_too_many_files = 67,
    error_device_unavailable = 68,
    error_communication_buffer_overflow = 69,
    error_permission_denied = 70,
    error_disk_not_ready = 71,
    error_disk_media = 72,
    error_feature_unavailable = 73,
    error_rename_across_disks = 74,
    error_path_file_access = 75,
    error_path_not_found = 76,
    error_out_of_stack_space = 256,  // critical
    error_out_of_memory_1 = 257,  // critical, and 502 to 517 are #2 to #17
    error_invalid_handle = 258,
    error_cannot_find_dynamic_library = 259,  // critical
    error_sub_not_in_dynamic_library = 260,  // critical
    error_out_of_memory_2 = 502,
    error_out_of_memory_3 = 503,
    error_out_of_memory_4 = 504,
    error_out_of_memory_5 = 505,
    error_out_of_memory_6 = 506,
    error_out_of_memory_7 = 507,
    error_out_of_memory_8 = 508,
    error_out_of_memory_9 = 509,
    error_out_of_memory_10 = 510,
    error_out_of_memory_11 = 511,
    error_out_of_memory_12 = 512,
    error_out_of_memory_13 = 513,
    error_out_of_memory_14 = 514,
    error_out_of_memory_15 = 515,
    error_out_of_memory_16 = 516,
    error_out_of_memory_17 = 517,
};

// Line number of the statement whose check found the pending error.
extern std::atomic<uint32_t> error_line;
// Tested by compiled code right after statement_check; always left 0.
extern std::atomic<int32_t> retry_statement;

// Records runtime error n (0 or negative records 5); the first error since the
// last report wins. Critical numbers show their box and end the process.
void runtime_error(int32_t n);

// True while a runtime error waits for its report (error_code is not 0).
inline bool runtime_error_pending() { return error_code.load() != 0; }

// Called by compiled code after a statement while event_pending is set.
void statement_check(uint32_t line);

// The message text of error n ("Unprintable error" when it has none).
const char* error_message(int32_t n);
// True for the numbers that end the process at once.
bool error_is_critical(int32_t n);
