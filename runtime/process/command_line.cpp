// What start-up leaves for the program: its folder, its arguments as one
// command line, and the chain-state check that a chained program starts with.
#include "runtime/process/process.h"
#include "runtime/process/process_internal.h"
#include "runtime/process/spine.h"
#include "runtime/core/program_folder_internal.h"
#include "runtime/core/strings.h"
#include "runtime/platform/dir.h"
#include "runtime/platform/process.h"
#include <cstdio>
#include <cstring>
#include <string>

namespace {
constexpr size_t folder_buffer_size = 65536;
constexpr std::string_view chain_tag = "(unique-tag:=/@*$+-)chain";
// The tag, the file's 12-character name and the space before them.
constexpr size_t chain_suffix_length = 32;
constexpr size_t chain_file_name_length = 12;
constexpr size_t chain_minimum_length = 31;

StrDesc* CommandLine = nullptr;
}  // namespace

void program_folder_of(const char* exe_path, char* folder, uint32_t size) {
    if (!folder || size == 0) return;
    folder[0] = '\0';
    if (!exe_path) return;
    size_t n = std::strlen(exe_path);
    size_t cut = 0;
    bool found = false;
    for (size_t i = n; i-- > 0;) {
        char c = exe_path[i];
        if (c == '\\' || c == '/') {
            // A program at the root keeps the root as its folder.
            cut = i == 0 ? 1 : i;
            found = true;
            break;
        }
        if (c == ':') {
            cut = i + 1;
            found = true;
            break;
        }
    }
    if (!found) return;
    if (cut >= size) cut = size - 1;
    std::memcpy(folder, exe_path, cut);
    folder[cut] = '\0';
}

StrDesc* command_line() { return CommandLine; }

void process_enter_program_folder() {
    char path[folder_buffer_size];
    if (!platform_executable_path(path, sizeof path)) return;
    char folder[folder_buffer_size];
    program_folder_of(path, folder, sizeof folder);
    program_folder_set(folder);
    // A folder that cannot be entered leaves the working directory where it
    // was; relative paths then follow it.
    if (folder[0]) fs_change_dir(folder);
}

void process_join_command_line(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    CommandLine = str_new(0, 0);
    str_assign(CommandLine, str_from_bytes(joined.data(), uint32_t(joined.size())));
}

void chain_state_check() {
    // A copy: the command line's own bytes move when a new string is made.
    std::string line(str_view(CommandLine));
    if (line.size() <= chain_minimum_length || !line.ends_with(".tmp") ||
        std::string_view(line).substr(line.size() - chain_suffix_length, chain_tag.size()) != chain_tag)
        return;
    std::string file = line.substr(line.size() - chain_file_name_length);
    char folder[folder_buffer_size] = {};
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        size_t n = std::fread(folder, 1, sizeof folder - 1, f);
        std::fclose(f);
        std::remove(file.c_str());
        while (n > 0 && (folder[n - 1] == '\n' || folder[n - 1] == '\r' || folder[n - 1] == '\0')) --n;
        folder[n] = '\0';
        // A folder that is gone leaves the program where it stands.
        if (n > 0) fs_change_dir(folder);
    }
    size_t keep = line.size() - chain_suffix_length;
    if (keep > 0 && line[keep - 1] == ' ') --keep;
    str_assign(CommandLine, str_from_bytes(line.data(), uint32_t(keep)));
}
