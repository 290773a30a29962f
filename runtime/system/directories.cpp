// File-system statements and the directory listing. The listing upper-cases
// and shortens names only on the screen; every operation works on the real
// bytes of a name, which a listed name leads back to through path_resolve.
#include "runtime/system/directories.h"
#include "runtime/system/directories_internal.h"
#include <cinttypes>
#include <cstdio>
#include "runtime/core/errors.h"
#include "runtime/core/flags.h"
#include "runtime/core/strings.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"
#include "runtime/display/text.h"
#include "runtime/platform/dir.h"
#include "runtime/platform/file_handle.h"
#include "runtime/system/dir_names.h"

namespace {

// Copies the program's name and consumes its string; false when the name
// holds a zero byte.
bool take_name(StrDesc* s, std::string* out) {
    *out = std::string(str_view(s));
    str_consume(s);
    return out->find('\0') == std::string::npos;
}

struct MatchedEntry {
    std::string path;
    std::string listed;
    bool is_directory;
};

// The entries of the pattern's folder that match its name part, in listing order.
std::vector<MatchedEntry> entries_matching(const PathParts& pattern) {
    std::vector<FolderEntry> entries;
    std::vector<MatchedEntry> matched;
    if (!fs_read_folder(pattern.folder, &entries)) return matched;
    folder_sort(&entries);
    std::vector<std::string> listed = listed_names(entries);
    for (size_t i = 0; i < entries.size(); ++i)
        if (name_matches(pattern.name, entries[i].name) || name_matches(pattern.name, listed[i]))
            matched.push_back({pattern.folder + entries[i].name, listed[i], entries[i].is_directory});
    return matched;
}

// 0 when deleted, else the error number. A file that an open by number keeps
// to itself (a lock clause, here or in another program) stays, as it would
// where the system refuses to delete an open file.
int32_t delete_file(const std::string& path) {
    int guard = -1;
    if (handle_removal_claim(path.c_str(), &guard) != handle_ok) return error_file_already_open;
    PathFault fault = fs_remove_file(path.c_str());
    if (guard >= 0) handle_close(guard);
    if (fault == PathFault::none) return 0;
    return fault == PathFault::denied ? error_file_already_open : error_file_not_found;
}

PathFault rename_file(const std::string& from, const std::string& to) {
    int guard = -1;
    if (handle_removal_claim(from.c_str(), &guard) != handle_ok) return PathFault::denied;
    PathFault fault = fs_rename(from.c_str(), to.c_str());
    if (guard >= 0) handle_close(guard);
    return fault;
}

// Prints bytes that the caller keeps alive as one print of the listing.
void print_piece(const std::string& text, bool fit_first, bool newline) {
    StrDesc* s = str_from_literal(text.c_str(), static_cast<uint32_t>(text.size()));
    if (fit_first) print_fit_check(s);
    print_string(s, newline ? 1 : 0);
}

}  // namespace

std::string dir_resolve_name(const std::string& name) { return path_resolve(name); }

void files_delete(StrDesc* pattern) {
    std::string text;
    bool usable = take_name(pattern, &text);
    if (runtime_error_pending()) return;
    if (!usable) return runtime_error(error_file_not_found);
    PathParts parts = path_split(text);
    if (!name_has_wildcards(parts.name)) {
        // One name deletes one file, even where its case would match several.
        std::string path = path_resolve(text);
        if (fs_kind(path.c_str()) != 1) return runtime_error(error_file_not_found);
        if (int32_t e = delete_file(path)) runtime_error(e);
        return;
    }
    int deleted = 0;
    for (const MatchedEntry& entry : entries_matching(parts)) {
        if (entry.is_directory) continue;
        if (int32_t e = delete_file(entry.path)) return runtime_error(e);
        ++deleted;
    }
    if (deleted == 0) runtime_error(error_file_not_found);
}

void file_rename(StrDesc* old_name, StrDesc* new_name) {
    std::string from, to;
    bool usable = take_name(old_name, &from);
    usable = take_name(new_name, &to) && usable;
    if (runtime_error_pending()) return;
    if (!usable) return runtime_error(error_bad_file_name);
    switch (rename_file(path_resolve(from), to)) {
    case PathFault::none:
        return;
    case PathFault::missing:
        return runtime_error(error_file_not_found);
    case PathFault::bad_name:
        return runtime_error(error_bad_file_name);
    case PathFault::denied:
    case PathFault::exists:
    case PathFault::not_empty:
        return runtime_error(error_path_file_access);
    case PathFault::other:
        return runtime_error(error_illegal_function_call);
    }
}

void dir_change(StrDesc* path) {
    std::string name;
    bool usable = take_name(path, &name);
    if (runtime_error_pending()) return;
    if (!usable || fs_change_dir(path_resolve(name).c_str()) != PathFault::none) runtime_error(error_path_not_found);
}

void dir_make(StrDesc* path) {
    std::string name;
    bool usable = take_name(path, &name);
    if (runtime_error_pending()) return;
    if (!usable) return runtime_error(error_path_not_found);
    PathFault fault = fs_make_dir(name.c_str());
    if (fault != PathFault::none)
        runtime_error(fault == PathFault::exists ? error_path_file_access : error_path_not_found);
}

void dir_remove(StrDesc* path) {
    std::string name;
    bool usable = take_name(path, &name);
    if (runtime_error_pending()) return;
    if (!usable) return runtime_error(error_path_not_found);
    PathFault fault = fs_remove_dir(path_resolve(name).c_str());
    if (fault != PathFault::none)
        runtime_error(fault == PathFault::not_empty ? error_path_file_access : error_path_not_found);
}

void files_list(StrDesc* pattern) {
    std::string text;
    bool usable = take_name(pattern, &text);
    if (runtime_error_pending()) return;
    if (text.empty() || text.back() == '/') text += '*';
    std::string folder;
    if (!fs_current_dir(&folder)) return runtime_error(error_illegal_function_call);
    print_piece(name_shown(folder), false, true);
    PathParts parts = path_split(text);
    std::vector<MatchedEntry> matched;
    if (usable) matched = entries_matching(parts);
    if (matched.empty()) return runtime_error(error_file_not_found);
    for (const MatchedEntry& entry : matched) print_piece(listing_entry(entry.listed, entry.is_directory), true, false);
    if (ImageRec* dest = dest_image(); dest && (dest->cursor_col != 1 || dest->holding_cursor)) text_newline();
    char free_line[48];
    std::snprintf(free_line, sizeof free_line, "% " PRId64 " Bytes free",
                  fs_free_bytes(parts.folder.empty() ? "." : parts.folder.c_str()));
    print_piece(free_line, false, true);
}
