// The names of the directory services: a pattern's folder part, wildcard
// matching as the directory search does it, the 8.3-style name the listing
// shows for each entry, and finding an entry again by the name it was shown by.
#pragma once
#include <string>
#include <string_view>
#include <vector>
#include "runtime/platform/dir.h"

// "sub/part/*.txt" is folder "sub/part/" and name "*.txt"; without a "/" the
// folder is "" (the current one). "\" is an ordinary byte of a name here.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts path_split(std::string_view path);
bool name_has_wildcards(std::string_view name);

// The name upper-cased (a-z only), with control bytes shown as "?".
std::string name_shown(std::string_view name);
// Case aside, "*" matches any run of bytes and "?" any one byte; a pattern
// ending in ".*" also matches the name without an extension ("*.*" is all).
bool name_matches(std::string_view pattern, std::string_view name);

// A folder's entries in listing order: by shown name, then by the bytes.
void folder_sort(std::vector<FolderEntry>* entries);
// The listed name of each entry of a whole folder, in the same order, unique
// within it. A name that fits the 12 columns (at most 8 before its one dot and
// 3 after it, or at most 12 with no dot) is listed as it is shown. Any other
// name, and a name that only its case tells from an earlier one, is listed as
// up to 6 bytes of its part before the last dot (dots and spaces left out) with
// "~" and a number, then the dot and the first 3 bytes after it: the first free
// number from 1, fewer bytes before "~" once it takes two digits.
std::vector<std::string> listed_names(const std::vector<FolderEntry>& entries);
// The 18-byte listing entry: the listed name in 12 columns with its dot and
// extension in columns 9-12, then 6 spaces or "<DIR> ".
std::string listing_entry(std::string_view listed, bool is_directory);

// The path a program's name stands for: the name itself when something has
// it, otherwise its folder's entry whose listed name it is, case aside; the
// name itself when there is none. Only the last part of the path is looked up.
std::string path_resolve(const std::string& path);
