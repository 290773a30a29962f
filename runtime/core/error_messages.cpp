// The texts of the runtime errors: ErrorMessageTable and the critical-error boxes.
#include "runtime/core/errors.h"
#include "runtime/core/errors_internal.h"

namespace {

struct ErrorMessage {
    int32_t number;
    const char* text;
};

const ErrorMessage ErrorMessageTable[] = {
    {1, "NEXT without FOR"},
    {2, "Syntax error"},
    {3, "RETURN without GOSUB"},
    {4, "Out of DATA"},
    {5, "Illegal function call"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {8, "Label not defined"},
    {9, "Subscript out of range"},
    {10, "Duplicate definition"},
    {11, "Division by zero"},
    {12, "Illegal in direct mode"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {16, "String formula too complex"},
    {17, "Cannot continue"},
    {18, "Function not defined"},
    {19, "No RESUME"},
    {20, "RESUME without error"},
    {24, "Device timeout"},
    {25, "Device fault"},
    {26, "FOR without NEXT"},
    {27, "Out of paper"},
    {29, "WHILE without WEND"},
    {30, "WEND without WHILE"},
    {33, "Duplicate label"},
    {35, "Subprogram not defined"},
    {37, "Argument-count mismatch"},
    {38, "Array not defined"},
    {40, "Variable required"},
    {50, "FIELD overflow"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {56, "FIELD statement active"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {59, "Bad record length"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {63, "Bad record number"},
    {64, "Bad file name"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {69, "Communication-buffer overflow"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {72, "Disk-media error"},
    {73, "Feature unavailable"},
    {74, "Rename across disks"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {258, "Invalid handle"},
};

struct CriticalError {
    int32_t number;
    const char* text;
    const char* title;
};

// Errors that leave the runtime unable to go on: shown at once, then the end.
const CriticalError CriticalErrorTable[] = {
    {256, "Out of stack space", "Critical Error"},
    {257, "Out of memory", "Critical Error #1"},
    {259, "Cannot find dynamic library file", "Critical Error"},
    {260, "Sub/Function does not exist in dynamic library", "Critical Error"},
    {502, "Out of memory", "Critical Error #2"},
    {503, "Out of memory", "Critical Error #3"},
    {504, "Out of memory", "Critical Error #4"},
    {505, "Out of memory", "Critical Error #5"},
    {506, "Out of memory", "Critical Error #6"},
    {507, "Out of memory", "Critical Error #7"},
    {508, "Out of memory", "Critical Error #8"},
    {509, "Out of memory", "Critical Error #9"},
    {510, "Out of memory", "Critical Error #10"},
    {511, "Out of memory", "Critical Error #11"},
    {512, "Out of memory", "Critical Error #12"},
    {513, "Out of memory", "Critical Error #13"},
    {514, "Out of memory", "Critical Error #14"},
    {515, "Out of memory", "Critical Error #15"},
    {516, "Out of memory", "Critical Error #16"},
    {517, "Out of memory", "Critical Error #17"},
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
