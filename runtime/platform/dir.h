// The file system's folders: reading a folder's entries, removing, renaming,
// the current folder, making and removing folders, and free space. Names are
// zero-terminated byte strings, handed to the system as they are.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FolderEntry {
    std::string name;
    bool is_directory;  // through a symbolic link to its target
};

// Why the system refused a path operation.
enum class PathFault : uint8_t {
    none,
    missing,  // no such file or folder, or a part of the path is not a folder
    denied,  // access, write protection, a read-only or busy file system
    exists,  // the new name is taken
    not_empty,  // a folder that still holds entries
    bad_name,  // too long, a loop of links, or a name the call cannot take
    other,
};

// Every entry of `folder` ("" is the current folder), "." and ".." included,
// in the system's order; false when it cannot be read.
bool fs_read_folder(const std::string& folder, std::vector<FolderEntry>* entries);
// Calls visit(name, context) for every entry of `folder` ("" is the current
// folder) in the system's order, without looking at what each entry is;
// false when it cannot be read.
using FolderVisit = void (*)(const char* name, void* context);
bool fs_each_name(const std::string& folder, FolderVisit visit, void* context);
// 0 missing, 1 a non-folder (a link to a folder counts as the folder), 2 a folder.
int fs_kind(const char* path);
PathFault fs_remove_file(const char* path);
// Never replaces an existing file or folder under the new name.
PathFault fs_rename(const char* old_path, const char* new_path);
PathFault fs_change_dir(const char* path);
PathFault fs_make_dir(const char* path);
PathFault fs_remove_dir(const char* path);
// The current folder's path; false when it cannot be read or is 4096 bytes or longer.
bool fs_current_dir(std::string* path);
// Bytes free to us on the file system that holds `path`; 0 when unknown.
int64_t fs_free_bytes(const char* path);
