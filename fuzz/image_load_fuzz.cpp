// Picture files through the image-loading statement. The first byte picks the
// file name's extension (SDL_image reads a TGA by its name alone) and where
// the picture goes: mode 32, mode 256, or the dest's own mode on a 16- or a
// 256-colour dest; the rest is the file. The picture is decoded in a decoder
// child, which is this same program: a crash of the decoder there is a
// refused file (-1), and the child's coverage is added to this process's, so
// the fuzzer is steered by what the decoding reached. A crash of this process,
// or a result that is neither -1 nor a sound image, is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/display/fonts.h"
#include "runtime/display/fonts_internal.h"
#include "runtime/display/image_files.h"
#include "runtime/display/image_files_internal.h"
#include "runtime/display/images.h"
#include "runtime/display/images_internal.h"

namespace {

void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "image_load_fuzz: %s\n", what);
    std::abort();
}

struct Dests {
    int32_t sixteen = 0, two_fifty_six = 0;
};

Dests start_once() {
    static Dests dests = [] {
        flags_reset();
        low_memory_clear();
        memory_startup();
        strings_startup();
        fonts_startup();
        images_startup();
        Dests d;
        d.sixteen = image_create(8, 8, 12);
        d.two_fifty_six = image_create(8, 8, 13);
        check(d.sixteen && d.two_fifty_six, "the dest images could not be made");
        return d;
    }();
    return dests;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Dests dests = start_once();
    if (size < 1) return 0;
    static const char* const extensions[8] = {"", ".tga", ".xpm", ".gif", ".png", ".bmp", ".pcx", ".lbm"};
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp ? tmp : "/tmp") + "/morv_image_fuzz_" + std::to_string(getpid()) +
        extensions[data[0] & 7];
    FILE* f = std::fopen(path.c_str(), "wb");
    check(f != nullptr, "the picture file could not be written");
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    const int choice = (data[0] >> 3) % 4;
    const int32_t mode = choice == 0 ? 32 : 256;
    if (choice >= 2) set_dest(-(choice == 2 ? dests.sixteen : dests.two_fifty_six));
    const int32_t handle = load_image(str_from_bytes(path.data(), uint32_t(path.size())), mode, choice < 2);
    check(error_code.exchange(0) == 0, "a picture file raised a runtime error");
    check(handle == -1 || handle < -1, "the result is neither -1 nor an image");
    if (handle < -1) {
        const ImageRec* rec = image_record(-handle);
        check(rec && rec->width >= 1 && rec->height >= 1 && rec->pixels, "the loaded image is not sound");
        check(choice != 1 || rec->mode == 256, "mode 256 gave another mode");
        check(choice < 2 || rec->mode == (choice == 2 ? 12 : 13), "the dest's mode was not kept");
        image_destroy(-handle);
    }
    std::remove(path.c_str());
    return 0;
}
