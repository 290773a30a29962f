// The file-system statements and the directory listing, in a temporary folder,
// the listing read back from the text page as printed.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>
#include "display/text_test_support.h"
#include "runtime/system/dir_names.h"
#include "runtime/system/directories.h"
#include "runtime/system/directories_internal.h"
#include "runtime/system/files.h"
#include "system/unprivileged.h"

namespace {

class Directories : public TextOutput {
protected:
    void SetUp() override {
        TextOutput::SetUp();
        char pattern[] = "/tmp/morv-dirs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        ASSERT_EQ(chdir(folder_.c_str()), 0);
    }
    void TearDown() override {
        file_close_all();
        chdir("/");
        std::system(("chmod -R u+w '" + folder_ + "'; rm -rf '" + folder_ + "'").c_str());
        TextOutput::TearDown();
    }
    static void make_file(const std::string& name, const std::string& content = "x") {
        std::ofstream(name, std::ios::binary) << content;
    }
    static bool exists(const std::string& name) { return access(name.c_str(), F_OK) == 0; }
    static StrDesc* s(const std::string& text) { return str_from_bytes(text.data(), uint32_t(text.size())); }
    static std::string upper(std::string t) {
        for (char& c : t) c = char(std::toupper(static_cast<unsigned char>(c)));
        return t;
    }
    std::string folder_;
};

TEST_F(Directories, ListingLayoutOnEightyAndFortyColumns) {
    mkdir("abcd", 0777);
    for (const char* name : {"a.txt", "verylongfilename.html", "archive.tar.gz", ".hidden", "README.TXT", "readme.txt"})
        make_file(name);
    // In listing order, each as its 18 printed columns.
    const std::vector<std::string> cells = {".           <DIR> ", "..          <DIR> ", ".HIDDEN           ",
                                            "A       .TXT      ", "ABCD        <DIR> ", "ARCHIV~1.GZ       ",
                                            "README  .TXT      ", "README~1.TXT      ", "VERYLO~1.HTM      "};
    for (int columns : {80, 40}) {
        SCOPED_TRACE(columns);
        if (columns == 40) use_40x25();
        clear_screen(0, 0, 0);
        files_list(s(""));  // an empty pattern lists "*"
        ASSERT_EQ(error_code.load(), 0);
        EXPECT_EQ(row_text(1), upper(folder_) + std::string(columns - folder_.size(), ' '));
        const size_t per_row = columns / 18;
        int row = 2;
        for (size_t i = 0; i < cells.size(); i += per_row, ++row) {
            std::string expected;
            for (size_t j = i; j < i + per_row && j < cells.size(); ++j) expected += cells[j];
            expected.resize(columns, ' ');
            EXPECT_EQ(row_text(row), expected) << "row " << row;
        }
        // " <digits> Bytes free" and blanks to the row's end.
        std::string text = row_text(row);
        size_t digits_end = text.find_first_not_of("0123456789", 1);
        EXPECT_TRUE(text[0] == ' ' && digits_end > 1 && digits_end != std::string::npos &&
                    text.compare(digits_end, 11, " Bytes free") == 0 &&
                    text.find_first_not_of(' ', digits_end + 11) == std::string::npos)
            << text;
        EXPECT_EQ(std::get<0>(cursor()), row + 1);
    }
}

TEST_F(Directories, ListedNamesLeadBackToTheirFiles) {
    for (const char* name :
         {"verylongfilename.html", "verylongfilename.htm.bak", "README.TXT", "readme.txt", "a b;c.txt"})
        make_file(name, name);
    EXPECT_EQ(dir_resolve_name("VERYLO~1.HTM"), "verylongfilename.html");
    EXPECT_EQ(dir_resolve_name("veryLO~1.bak"), "verylongfilename.htm.bak");
    EXPECT_EQ(dir_resolve_name("README~1.TXT"), "readme.txt");
    EXPECT_EQ(dir_resolve_name("Readme.Txt"), "README.TXT");  // the entry the listing showed by that name
    EXPECT_EQ(dir_resolve_name("readme.txt"), "readme.txt");  // an exact name always wins
    EXPECT_EQ(dir_resolve_name("A B;C.TXT"), "a b;c.txt");
    EXPECT_EQ(dir_resolve_name("nothing.txt"), "nothing.txt");
    // One name deletes one file, though its case matches two.
    files_delete(s("README.TXT"));
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_FALSE(exists("README.TXT"));
    EXPECT_TRUE(exists("readme.txt"));
    files_delete(s("VERYLO~1.HTM"));
    EXPECT_FALSE(exists("verylongfilename.html"));
    EXPECT_TRUE(exists("verylongfilename.htm.bak"));
}

// Numbering as it was first written: each name tries every number from 1.
std::vector<std::string> listed_by_trying_each_number(const std::vector<FolderEntry>& entries) {
    std::vector<std::string> listed(entries.size());
    std::vector<std::string> taken;
    auto take = [&](const std::string& name) {
        if (std::find(taken.begin(), taken.end(), name) != taken.end()) return false;
        taken.push_back(name);
        return true;
    };
    auto fits = [](const std::string& n) {
        size_t dot = n.rfind('.'), dots = std::count(n.begin(), n.end(), '.');
        if (n == "." || n == "..") return true;
        if (dot == std::string::npos || dot == 0) return dots <= 1 && n.size() <= 12;
        return dots == 1 && dot <= 8 && n.size() - dot - 1 <= 3;
    };
    auto strip = [](std::string t) {
        t.erase(std::remove_if(t.begin(), t.end(), [](char c) { return c == '.' || c == ' '; }), t.end());
        return t;
    };
    for (size_t i = 0; i < entries.size(); ++i)
        if (std::string shown = name_shown(entries[i].name); fits(shown) && take(shown)) listed[i] = shown;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!listed[i].empty()) continue;
        std::string shown = name_shown(entries[i].name);
        size_t dot = shown.rfind('.');
        if (dot == 0) dot = std::string::npos;
        std::string base = strip(shown.substr(0, dot));
        std::string ext = dot == std::string::npos ? "" : strip(shown.substr(dot + 1)).substr(0, 3);
        if (base.empty()) base = "_";
        for (unsigned n = 1; listed[i].empty(); ++n) {
            std::string tail = "~" + std::to_string(n);
            std::string name = base.substr(0, 8 - tail.size()) + tail + (ext.empty() ? "" : "." + ext);
            if (take(name)) listed[i] = name;
        }
    }
    return listed;
}

TEST_F(Directories, ListedNamesAreNumberedAsByTryingEachNumber) {
    std::vector<FolderEntry> entries;
    auto add = [&](const std::string& name) { entries.push_back({name, false}); };
    for (int i = 0; i < 150; ++i) add("IMG_" + std::to_string(10000 + i).substr(1) + ".jpeg");  // past ~9 and ~99
    for (int i = 0; i < 30; ++i) add("IMG_" + std::to_string(i) + ".jpeg.bak");  // another extension
    for (char c = 'a'; c <= 'l'; ++c) add(std::string("abcde") + c + "_long_name");  // share 5 bytes past ~9
    for (const char* name : {"IMG_00~3.JPE", "IMG_0~12.JPE", "abcde~1", "img_0001.JPEG", ".profile.d", "x y.z.w", "...",
                             "a.b.c", "Makefile.am.in", "ab"})
        add(name);
    folder_sort(&entries);
    EXPECT_EQ(listed_names(entries), listed_by_trying_each_number(entries));
}

// An open with a lock clause keeps its file from being deleted or renamed, by
// this program or another; without one, the file goes as the system lets it.
TEST_F(Directories, FilesOpenWithALockClauseStayInPlace) {
    for (int32_t lock = 0; lock <= 4; ++lock) {
        SCOPED_TRACE(lock);
        make_file("open.txt", "data");
        file_open(s("open.txt"), file_mode_binary, 0, lock, 1, 0, 0);
        ASSERT_EQ(error_code.load(), 0);
        const bool kept = lock >= 2;
        if (kept) {
            EXPECT_EQ(error_of([] { files_delete(s("open.txt")); }), 55);
            EXPECT_EQ(error_of([] { files_delete(s("*.txt")); }), 55);
            EXPECT_EQ(error_of([] { file_rename(s("open.txt"), s("moved.txt")); }), 75);
            auto rename = [] { file_rename(s("open.txt"), s("moved.txt")); };
            EXPECT_EQ(in_other_process([&] { return error_of(rename); }), 75);
        }
        EXPECT_EQ(in_other_process([] { return error_of([] { files_delete(s("*.txt")); }); }), kept ? 55 : 0);
        EXPECT_EQ(exists("open.txt"), kept);
        EXPECT_FALSE(exists("moved.txt"));
        // What is written through the number is in the file after the close.
        file_raw_write(1, 4, "+", 1);
        file_close(1);
        if (kept) {
            std::ifstream in("open.txt");
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "data+");
        }
        std::remove("open.txt");
    }
    EXPECT_EQ(error_code.load(), 0);
    // A file its user may only write is kept all the same.
    ASSERT_TRUE(Unprivileged::user().give(folder_));
    EXPECT_EQ(run_unprivileged([] {
                  make_file("w.txt", "data");
                  chmod("w.txt", 0200);
                  file_open(s("w.txt"), file_mode_binary, 0, 4, 1, 0, 0);
                  if (error_code.load()) return std::string("not opened");
                  int deleting = in_other_process([] { return error_of([] { files_delete(s("w.txt")); }); });
                  return deleting == 55 && exists("w.txt") ? std::string() : "deleted: " + std::to_string(deleting);
              }),
              "");
}

// A program that may not open a file cannot look at its marks by opening it:
// another user's private file held with a lock clause in a shared folder, or
// the holder's own file made unreadable, stays in place all the same. One
// that nobody holds goes as the system lets it.
TEST_F(Directories, HeldFilesStayWhenTheyCannotBeOpenedToLook) {
    chmod(folder_.c_str(), 0777);
    make_file("private.txt", "data");
    chmod("private.txt", 0600);
    file_open(s("private.txt"), file_mode_binary, 0, 2, 1, 0, 0);
    ASSERT_EQ(error_code.load(), 0);
    EXPECT_EQ(run_unprivileged([] {
                  std::string failures;
                  if (int e = error_of([] { files_delete(s("private.txt")); }); e != 55)
                      failures += "delete gave " + std::to_string(e) + "; ";
                  if (int e = error_of([] { file_rename(s("private.txt"), s("moved.txt")); }); e != 75)
                      failures += "rename gave " + std::to_string(e) + "; ";
                  if (!exists("private.txt")) failures += "the file is gone";
                  return failures;
              }),
              "");
    file_close(1);
    EXPECT_EQ(run_unprivileged([] {
                  std::string failures;
                  make_file("held.txt", "data");
                  make_file("free.txt", "data");
                  file_open(s("held.txt"), file_mode_binary, 0, 2, 1, 0, 0);
                  if (error_code.load()) return std::string("the held file was not opened");
                  // The holder makes both unreadable once it holds one.
                  chmod("held.txt", 0000);
                  chmod("free.txt", 0000);
                  if (int e = in_other_process([] { return error_of([] { files_delete(s("held.txt")); }); }); e != 55)
                      failures += "the delete gave " + std::to_string(e) + "; ";
                  if (!exists("held.txt")) failures += "the held file is gone; ";
                  file_close(1);
                  if (int e = in_other_process([] { return error_of([] { file_rename(s("free.txt"), s("f.txt")); }); }))
                      failures += "the free file's rename gave " + std::to_string(e) + "; ";
                  if (int e = in_other_process([] { return error_of([] { files_delete(s("held.txt")); }); }))
                      failures += "the closed file's delete gave " + std::to_string(e);
                  return failures;
              }),
              "");
}

TEST_F(Directories, WildcardsMatchAsTheDirectorySearchDoes) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*", "anything.at.all", true},
        {"*.TXT", "notes.txt", true},
        {"*.txt", "notes.txt.gz", false},
        {"?.c", "a.c", true},
        {"?.c", "ab.c", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYcZ", false},
        {"*.*", "Makefile", true},
        {"make.*", "MAKE", true},
        {"[ab]", "a", false},
        {"[ab]", "[AB]", true},
        {"", "", true},
        {"*x", "", false},
    };
    for (const Case& c : cases) EXPECT_EQ(name_matches(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

TEST_F(Directories, DeleteByPatternTakesOnlyFilesOfItsFolder) {
    mkdir("sub", 0777);
    mkdir("x.txt", 0777);
    for (const char* name : {"a.txt", "B.TXT", "c.dat", "sub/d.txt", "sub/e.dat"}) make_file(name);
    files_delete(s("*.txt"));
    EXPECT_EQ(error_code.load(), 0);
    EXPECT_FALSE(exists("a.txt") || exists("B.TXT"));
    EXPECT_TRUE(exists("c.dat") && exists("x.txt") && exists("sub/d.txt"));
    files_delete(s("sub/*.txt"));
    EXPECT_FALSE(exists("sub/d.txt"));
    EXPECT_TRUE(exists("sub/e.dat"));
}

TEST_F(Directories, FailuresGiveTheirNumbers) {
    mkdir("abcd", 0777);
    mkdir("full", 0777);
    make_file("full/inside");
    make_file("kept", "kept");
    make_file("other");
    struct Case {
        const char* what;
        std::function<void()> run;
        int32_t error;
    } cases[] = {
        {"list nothing", [] { files_list(s("nomatch*")); }, 53},
        {"list a missing folder", [] { files_list(s("missing/")); }, 53},
        {"delete a directory by name", [] { files_delete(s("abcd")); }, 53},
        {"delete a pattern of directories", [] { files_delete(s("ab*")); }, 53},
        {"delete in a missing folder", [] { files_delete(s("missing/*")); }, 53},
        {"delete a name with a zero byte", [] { files_delete(s(std::string("kept\0x", 6))); }, 53},
        {"make an existing directory", [] { dir_make(s("abcd")); }, 75},
        {"make in a missing folder", [] { dir_make(s("missing/sub")); }, 76},
        {"remove a non-empty directory", [] { dir_remove(s("full")); }, 75},
        {"remove a missing directory", [] { dir_remove(s("missing")); }, 76},
        {"remove a file as a directory", [] { dir_remove(s("kept")); }, 76},
        {"enter a missing directory", [] { dir_change(s("missing")); }, 76},
        {"rename a missing file", [] { file_rename(s("missing"), s("new")); }, 53},
        {"rename onto an existing file", [] { file_rename(s("other"), s("kept")); }, 75},
        {"rename with a zero byte", [] { file_rename(s("other"), s(std::string("a\0b", 3))); }, 64},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of(c.run), c.error) << c.what;
    std::ifstream kept("kept");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");  // not replaced
    EXPECT_TRUE(exists("other") && exists("full/inside"));
}

TEST_F(Directories, NamesAreDataNeverCommands) {
    const std::string odd = "a b;'$(touch pwned)\"`touch pwned2`\n.txt";
    make_file(odd);
    file_rename(s(odd), s("x;$HOME |y"));
    EXPECT_TRUE(exists("x;$HOME |y"));
    dir_make(s("d;touch pwned3 &&"));
    dir_change(s("d;touch pwned3 &&"));
    dir_change(s(".."));
    dir_remove(s("d;touch pwned3 &&"));
    files_delete(s("x;$HOME |y"));
    EXPECT_EQ(error_code.load(), 0);
    for (const char* name : {"pwned", "pwned2", "pwned3", "x;$HOME |y", "d;touch pwned3 &&"})
        EXPECT_FALSE(exists(name)) << name;
}

TEST_F(Directories, RefusedDeletionIsFiftyFive) {
    // The system refuses these to everyone, root included.
    EXPECT_EQ(error_of([] { files_delete(s("/proc/self/stat")); }), 55);
    EXPECT_EQ(error_of([] { files_delete(s("/proc/self/sta?")); }), 55);
}

}  // namespace
