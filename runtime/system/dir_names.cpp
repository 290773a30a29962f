// Pattern parts, wildcard matching, listed names and their way back to a file.
#include "runtime/system/dir_names.h"
#include <algorithm>
#include <unordered_set>

namespace {

char shown_byte(char c) {
    auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127) return '?';
    return b >= 'a' && b <= 'z' ? static_cast<char>(b - 32) : c;
}

bool matches_exactly(std::string_view pattern, std::string_view name) {
    // Greedy match with one backtrack point: the last "*" seen.
    size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The dot that starts the extension: the last one, unless it leads the name.
size_t extension_dot(std::string_view shown) {
    size_t dot = shown.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view::npos : dot;
}

bool fits_columns(std::string_view shown) {
    if (shown == "." || shown == "..") return true;
    size_t dots = std::count(shown.begin(), shown.end(), '.');
    size_t dot = extension_dot(shown);
    if (dot == std::string_view::npos) return dots <= 1 && shown.size() <= 12;
    return dots == 1 && dot <= 8 && shown.size() - dot - 1 <= 3;
}

std::string without_dots_and_spaces(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != '.' && c != ' ') out += c;
    return out;
}

std::string numbered_name(std::string_view shown, std::unordered_set<std::string>& taken) {
    size_t dot = extension_dot(shown);
    std::string base = without_dots_and_spaces(shown.substr(0, dot));
    std::string ext = dot == std::string_view::npos ? "" : without_dots_and_spaces(shown.substr(dot + 1)).substr(0, 3);
    if (base.empty()) base = "_";
    for (unsigned n = 1;; ++n) {
        std::string tail = "~" + std::to_string(n);
        std::string name = base.substr(0, 8 - tail.size()) + tail;
        if (!ext.empty()) name += "." + ext;
        if (taken.insert(name).second) return name;
    }
}

}  // namespace

PathParts path_split(std::string_view path) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {"", std::string(path)};
    return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

bool name_has_wildcards(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

std::string name_shown(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = shown_byte(c);
    return out;
}

bool name_matches(std::string_view pattern, std::string_view name) {
    std::string p = name_shown(pattern), n = name_shown(name);
    if (matches_exactly(p, n)) return true;
    return p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 &&
           matches_exactly(std::string_view(p).substr(0, p.size() - 2), n);
}

void folder_sort(std::vector<FolderEntry>* entries) {
    std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
        int order = name_shown(a.name).compare(name_shown(b.name));
        return order != 0 ? order < 0 : a.name < b.name;
    });
}

std::vector<std::string> listed_names(const std::vector<FolderEntry>& entries) {
    std::vector<std::string> listed(entries.size());
    std::unordered_set<std::string> taken;
    // Names that fit keep their face first, so no made-up name can take it.
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string shown = name_shown(entries[i].name);
        if (fits_columns(shown) && taken.insert(shown).second) listed[i] = std::move(shown);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (listed[i].empty()) listed[i] = numbered_name(name_shown(entries[i].name), taken);
    return listed;
}

std::string listing_entry(std::string_view listed, bool is_directory) {
    std::string entry(12, ' ');
    size_t dot = listed == ".." ? std::string_view::npos : extension_dot(listed);
    if (dot == std::string_view::npos) {
        entry.replace(0, std::min<size_t>(listed.size(), 12), listed.substr(0, 12));
    } else {
        entry.replace(0, std::min<size_t>(dot, 8), listed.substr(0, std::min<size_t>(dot, 8)));
        std::string_view ext = listed.substr(dot, 4);
        entry.replace(8, ext.size(), ext);
    }
    return entry + (is_directory ? "<DIR> " : "      ");
}

std::string path_resolve(const std::string& path) {
    if (fs_kind(path.c_str()) != 0) return path;
    PathParts parts = path_split(path);
    if (parts.name.empty()) return path;
    std::vector<FolderEntry> entries;
    if (!fs_read_folder(parts.folder, &entries)) return path;
    folder_sort(&entries);
    std::vector<std::string> listed = listed_names(entries);
    const std::string wanted = name_shown(parts.name);
    for (size_t i = 0; i < entries.size(); ++i)
        if (listed[i] == wanted) return parts.folder + entries[i].name;
    return path;
}
