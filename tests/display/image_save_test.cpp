// The picture writer: images of every kind saved as PNG and BMP and loaded back
// through load_image, text pages against what the window shows, and the files
// a save must refuse or must not damage.
#include <gtest/gtest.h>
#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display/display_fixture.h"
#include "system/unprivileged.h"
#include "runtime/display/screen_mode.h"
#include "runtime/core/strings.h"
#include "runtime/display/display.h"
#include "runtime/display/display_internal.h"
#include "runtime/display/image_files.h"
#include "runtime/display/image_save_internal.h"
#include "runtime/platform/replace_file.h"
#include "runtime/display/text.h"

namespace {

std::string contents(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

class ImageSave : public DisplayFixture {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        DisplayFixture::SetUp();
        std::string pattern = testing::TempDir() + "morv_save_XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern.data()));
        folder = pattern + "/";
        chmod(pattern.c_str(), 0755);
    }
    void TearDown() override {
        image_save_fail_writes_after(SIZE_MAX);
        std::string command = "chmod -R u+w '" + folder + "' && rm -rf '" + folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        display_shutdown();
        DisplayFixture::TearDown();
        SDL_Quit();
    }
    static int32_t save(const std::string& path, int32_t image, const char* format = nullptr) {
        StrDesc* word = format ? str_from_cstring(format) : nullptr;
        return image_save(str_from_bytes(path.data(), uint32_t(path.size())), image, word,
                          image_save_image_given | (format ? uint32_t{image_save_format_given} : 0u));
    }
    static ImageRec* load(const std::string& path, int32_t mode) {
        const int32_t image = load_image(str_from_bytes(path.data(), uint32_t(path.size())), mode, true);
        return image < -1 ? image_record(-image) : nullptr;
    }
    // The entries in the folder besides the ones named.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        std::string command = "ls -A '" + folder + "'";
        if (FILE* p = popen(command.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, p)) names.emplace_back(line, std::strcspn(line, "\n"));
            pclose(p);
        }
        return names;
    }
    std::string folder;
};

uint32_t pixel_of(const ImageRec& r, int x, int y) {
    const size_t i = size_t(y) * r.width + x;
    return r.bytes_per_pixel == 4 ? reinterpret_cast<const uint32_t*>(r.pixels)[i] : r.pixels[i];
}

// Every kind of image, in both formats, comes back with its pixels, its palette
// and (where the format holds it) its transparent colour.
TEST_F(ImageSave, RoundTripsThroughLoadImage) {
    struct Case {
        const char* what;
        int32_t mode;  // 32 and 256 program images; 12 and 13 screen pages
        const char* format;
    } cases[] = {
        {"32-bit with alpha", 32, "PNG"}, {"32-bit with alpha", 32, "bmp"}, {"256 colours", 256, "png"},
        {"256 colours", 256, "BMP"},      {"16-colour page", 12, "PNG"},    {"16-colour page", 12, "BMP"},
        {"mode 13 page", 13, "PNG"},      {"mode 13 page", 13, "BMP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " as " + c.format);
        int32_t image = 0;
        if (c.mode == 12 || c.mode == 13)
            set_screen_mode(c.mode, 0, 0, 0, 0, 1);
        else
            image = new_image(7, 5, c.mode, true);
        ImageRec& r = *image_record(image ? -image : page_handle(0));
        ASSERT_EQ(error_code.load(), 0);
        const uint32_t alphas[] = {0xFF000000, 0x80000000, 0x00000000, 0x01000000};
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) {
                const uint32_t v = uint32_t(x * 37 + y * 11);
                if (c.mode == 32)
                    reinterpret_cast<uint32_t*>(r.pixels)[y * r.width + x] = alphas[(x + y) % 4] | v * 0x010203u;
                else
                    r.pixels[y * r.width + x] = uint8_t(v & r.colour_mask);
            }
        if (c.mode == 256) {
            for (int i = 0; i < 256; ++i) r.palette[i] = 0xFF000000u | uint32_t(i) * 0x00010307u;
            r.transparent_colour = 11;  // used: the pixel at (0, 1)
        }
        const std::string path = folder + "picture." + c.format;
        ASSERT_EQ(save(path, image, c.format), -1);
        ImageRec* back = load(path, c.mode == 32 ? 32 : 256);
        ASSERT_TRUE(back);
        ASSERT_EQ(back->width, r.width);
        ASSERT_EQ(back->height, r.height);
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) ASSERT_EQ(pixel_of(*back, x, y), pixel_of(r, x, y)) << x << "," << y;
        if (c.mode == 32) continue;
        for (uint32_t i = 0; i <= r.colour_mask; ++i)
            ASSERT_EQ(back->palette[i] & 0xFFFFFF, r.palette[i] & 0xFFFFFF) << "entry " << i;
        const bool png = c.format[0] == 'P' || c.format[0] == 'p';
        EXPECT_EQ(back->transparent_colour, png ? r.transparent_colour : -1);
    }
}

// A text page is saved as the window shows it: through its font and palette,
// 40 columns drawn twice as wide, blinking cells in their shown half.
TEST_F(ImageSave, TextPagesAsTheWindowShowsThem) {
    for (int columns : {80, 40}) {
        SCOPED_TRACE(columns);
        set_text_size(0, columns, 25, 3);
        ASSERT_EQ(error_code.load(), 0);
        uint8_t* cells = page_handle(0) ? image_record(page_handle(0))->pixels : nullptr;
        ASSERT_TRUE(cells);
        const char* text = "MORV \xC9\xCD\xBB 5";
        for (int i = 0; text[i]; ++i)
            cells[2 * (columns + 2 + i)] = uint8_t(text[i]), cells[2 * (columns + 2 + i) + 1] = 0x1E;
        cells[1] = 0x9C;  // blinking light red on blue
        cells[0] = 'X';
        set_palette_entry(1, 0x12, true);
        image_record(page_handle(0))->cursor_visible = 0;
        // A frame in the blink's shown half.
        for (int i = 0; i < 16 && (i == 0 || (display_frame_counter() & 8)); ++i) display_refresh();
        ASSERT_EQ(display_frame_counter() & 8, 0u);
        const std::string path = folder + "text.png";
        ASSERT_EQ(save(path, 0, "png"), -1);
        ImageRec* back = load(path, 32);
        ASSERT_TRUE(back);
        SDL_Surface* s = display_surface();
        ASSERT_EQ(back->width, s->w);
        ASSERT_EQ(back->height, s->h);
        for (int y = 0; y < s->h; ++y)
            for (int x = 0; x < s->w; ++x)
                ASSERT_EQ(pixel_of(*back, x, y) & 0xFFFFFF,
                          static_cast<uint32_t*>(s->pixels)[y * (s->pitch / 4) + x] & 0xFFFFFF)
                    << x << "," << y;
        display_shutdown();
    }
}

// What a save refuses: the result is 0 (or an error) and the folder holds
// nothing new; what it must not damage stays as it was.
TEST_F(ImageSave, RefusedTargetsAndFailedWrites) {
    const int32_t image = new_image(16, 16, 32, true);
    const std::string good = folder + "good.png";
    ASSERT_EQ(save(good, image, "PNG"), -1);
    const std::string before = contents(good);
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(mkfifo((folder + "fifo.png").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((folder + "folder.png").c_str(), 0755), 0);

    EXPECT_EQ(error_of([&] { EXPECT_EQ(save(folder + "x.gif", image, "GIF"), 0); }), 5);
    EXPECT_EQ(error_of([&] { EXPECT_EQ(save(folder + "x.png", image, ""), 0); }), 5);
    EXPECT_EQ(error_of([&] { EXPECT_EQ(save(folder + "x.png", -999, "PNG"), 0); }), 258);
    const struct {
        std::string name;
    } refused[] = {{""},
                   {folder + std::string("a\0b.png", 7)},
                   {folder + "fifo.png"},
                   {folder + "folder.png"},
                   {folder + "missing/x.png"},
                   {"/proc/self/status"}};
    for (const auto& r : refused)
        EXPECT_EQ(error_of([&] { EXPECT_EQ(save(r.name, image, "PNG"), 0) << r.name; }), 0) << r.name;
    struct stat st {};
    ASSERT_EQ(stat((folder + "fifo.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A write that fails half way (a full disk) leaves the good file whole.
    image_save_fail_writes_after(100);
    const int32_t big = new_image(300, 300, 32, true);
    EXPECT_EQ(save(good, big, "PNG"), 0);
    EXPECT_EQ(save(good, big, "BMP"), 0);
    image_save_fail_writes_after(SIZE_MAX);
    EXPECT_EQ(contents(good), before);

    // A link is followed: the file it names gets the picture, the link stays.
    ASSERT_EQ(symlink("good.png", (folder + "link.png").c_str()), 0);
    EXPECT_EQ(save(folder + "link.png", big, "PNG"), -1);
    ASSERT_EQ(lstat((folder + "link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(contents(good), before);
    std::vector<std::string> expected = {"fifo.png", "folder.png", "good.png", "link.png"};
    EXPECT_EQ(leftovers(), expected);
}

// An existing file keeps its permission bits; a new one gets the umask's.
TEST_F(ImageSave, PermissionBits) {
    const int32_t image = new_image(4, 4, 256, true);
    const std::string kept = folder + "kept.bmp";
    ASSERT_EQ(save(kept, image, "BMP"), -1);
    ASSERT_EQ(chmod(kept.c_str(), 0604), 0);
    ASSERT_EQ(save(kept, image, "BMP"), -1);
    struct stat st {};
    ASSERT_EQ(stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    const mode_t old = umask(027);
    const std::string fresh = folder + "fresh.png";
    EXPECT_EQ(save(fresh, image, "PNG"), -1);
    umask(old);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Without a format word the name decides, and without an image the window's
// page is saved.
TEST_F(ImageSave, FormatFromTheNameAndTheDisplayPage) {
    set_screen_mode(13, 0, 0, 0, 0, 1);
    for (const char* name : {"shot.BMP", "shot.png", "shot", "shot.bmp.png"}) {
        const std::string path = folder + name;
        ASSERT_EQ(image_save(str_from_bytes(path.data(), uint32_t(path.size())), 0, nullptr, 0), -1) << name;
        const std::string bytes = contents(path);
        const bool bmp = std::string(name) == "shot.BMP";
        EXPECT_EQ(bytes.substr(0, 2) == "BM", bmp) << name;
        EXPECT_EQ(bytes.substr(1, 3) == "PNG", !bmp) << name;
        ImageRec* back = load(path, 256);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width, 320);
    }
    error_code = 7;
    EXPECT_EQ(save(folder + "pending.png", 0, "PNG"), 0);
    error_code = 0;
    EXPECT_EQ(access((folder + "pending.png").c_str(), F_OK), -1);
}

// A user who may not write in the folder gets 0 and the folder stays empty;
// in a folder of its own the save works. As root the saves run as nobody.
TEST_F(ImageSave, AsAUserWithoutPrivileges) {
    const std::string locked = folder + "locked", own = folder + "own";
    ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
    ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
    ASSERT_TRUE(Unprivileged::user().give(own));
    // Files it may not write stay as they were, though their folders let it
    // make new files: its own read-only file, and another user's file in a
    // folder anyone may write.
    const std::string open_to_all = folder + "open";
    ASSERT_EQ(mkdir(open_to_all.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open_to_all.c_str(), 0777), 0);
    const std::string read_only = own + "/read-only.png", others = open_to_all + "/others.png";
    for (const std::string& path : {read_only, others}) std::ofstream(path) << "old contents";
    ASSERT_TRUE(Unprivileged::user().give(read_only));
    ASSERT_EQ(chmod(read_only.c_str(), 0444), 0);
    ASSERT_EQ(chmod(others.c_str(), 0640), 0);
    const int32_t image = new_image(8, 8, 32, true);
    const std::string failure = run_unprivileged([&]() -> std::string {
        std::string found;
        if (save(locked + "/x.png", image, "PNG") != 0) found += "saved in a folder it may not write; ";
        if (save(own + "/y.png", image, "PNG") != -1) found += "not saved in its own folder; ";
        if (save(read_only, image, "PNG") != 0) found += "replaced its read-only file; ";
        if (save(others, image, "PNG") != 0) found += "replaced another user's file; ";
        return found;
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(contents(read_only), "old contents");
    EXPECT_EQ(contents(others), "old contents");
    struct stat st {};
    ASSERT_EQ(stat(others.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, getuid());
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(std::system(("test -z \"$(ls -A '" + locked + "')\"").c_str()), 0);
    ImageRec* back = load(own + "/y.png", 32);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 8);
}

// A save the end of the process cuts off leaves no temporary file, and the
// file it was replacing stays as it was.
TEST_F(ImageSave, ASaveCutOffByTheEndLeavesNothing) {
    const std::string target = folder + "kept.png";
    std::ofstream(target) << "old contents";
    FileReplacement r;
    ASSERT_TRUE(replace_file_begin(target.c_str(), &r));
    ASSERT_TRUE(replace_file_write(&r, "new", 3));
    replace_file_drop_unfinished();
    EXPECT_EQ(access(r.temporary.c_str(), F_OK), -1);
    EXPECT_FALSE(replace_file_commit(&r));
    EXPECT_EQ(contents(target), "old contents");
    std::vector<std::string> expected = {"kept.png"};
    EXPECT_EQ(leftovers(), expected);
}

}  // namespace
