// Pattern parts, wildcard matching, listed names and their way back to a file.
#include "runtime/system/dir_names.h"
#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include "runtime/core/code_page.h"

namespace {

char shown_byte(char c) {
    auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127) return '?';
    return ascii_upper(c);
}

bool shown_as(std::string_view name, std::string_view shown) {
    if (name.size() != shown.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (shown_byte(name[i]) != shown[i]) return false;
    return true;
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

// The numbered names made so far. For each run of names that differ only in
// their number (the same bytes before "~", the same count of digits, the same
// extension), every number below `next` is taken: names are only ever added,
// so the search for a free one resumes there instead of starting at 1.
struct Numbering {
    std::unordered_set<std::string> taken;
    std::unordered_map<std::string, uint64_t> next;
};

std::string numbered_name(std::string_view shown, Numbering& numbering) {
    size_t dot = extension_dot(shown);
    std::string base = without_dots_and_spaces(shown.substr(0, dot));
    std::string ext = dot == std::string_view::npos ? "" : without_dots_and_spaces(shown.substr(dot + 1)).substr(0, 3);
    if (base.empty()) base = "_";
    uint64_t low = 1, high = 10;
    for (size_t digits = 1;; ++digits, low = high, high *= 10) {
        // "~" and the digits take the place of the base's last bytes.
        const size_t tail = digits + 1;
        const std::string front = base.substr(0, tail > 8 ? std::string::npos : 8 - tail);
        uint64_t& next = numbering.next[front + '/' + ext + '/' + std::to_string(digits)];
        for (uint64_t n = std::max(next, low); n < high; ++n) {
            std::string name = front + "~" + std::to_string(n);
            if (!ext.empty()) name += "." + ext;
            if (numbering.taken.insert(name).second) {
                next = n + 1;
                return name;
            }
        }
        next = high;
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
    std::vector<std::pair<std::string, FolderEntry>> keyed;
    keyed.reserve(entries->size());
    for (FolderEntry& e : *entries) keyed.emplace_back(name_shown(e.name), std::move(e));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : a.second.name < b.second.name;
    });
    for (size_t i = 0; i < keyed.size(); ++i) (*entries)[i] = std::move(keyed[i].second);
}

std::vector<std::string> listed_names(const std::vector<FolderEntry>& entries) {
    std::vector<std::string> listed(entries.size());
    Numbering numbering;
    // Names that fit keep their face first, so no made-up name can take it.
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string shown = name_shown(entries[i].name);
        if (fits_columns(shown) && numbering.taken.insert(shown).second) listed[i] = std::move(shown);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (listed[i].empty()) listed[i] = numbered_name(name_shown(entries[i].name), numbering);
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
    const std::string wanted = name_shown(parts.name);
    const bool numbered = wanted.find('~') != std::string::npos;
    // Only names that fit the columns are listed, and only numbered ones carry
    // a "~" they were not given: a new name of any other form is looked up no
    // further, and one without a "~" can only be an entry's own name shown.
    if (!numbered && !fits_columns(wanted)) return path;
    if (!numbered) {
        // The first of the entries shown alike keeps that name: the least bytes.
        struct Search {
            const std::string& wanted;
            std::string found;
            bool any = false;
        } search{wanted, {}};
        fs_each_name(
            parts.folder,
            [](const char* name, void* context) {
                auto& s = *static_cast<Search*>(context);
                if (shown_as(name, s.wanted) && (!s.any || name < s.found)) {
                    s.found = name;
                    s.any = true;
                }
            },
            &search);
        return search.any ? parts.folder + search.found : path;
    }
    std::vector<FolderEntry> entries;
    if (!fs_read_folder(parts.folder, &entries)) return path;
    folder_sort(&entries);
    std::vector<std::string> listed = listed_names(entries);
    for (size_t i = 0; i < entries.size(); ++i)
        if (listed[i] == wanted) return parts.folder + entries[i].name;
    return path;
}
