// Image files: pictures read through SDL_image into 32-bit images, 256-colour
// images with the file's palette, or images in the dest image's palette mode.
#pragma once
#include <cstdint>

struct StrDesc;

// The picture in `file` (name consumed) as a negative image handle, or -1 when
// it cannot be read or made into an image. Mode 32 or 256 when passed (else
// error 5); not passed, the image takes the dest image's mode, which must not
// be text (error 5). An empty name gives -1 without touching the file system.
int32_t load_image(StrDesc* file, int32_t mode, bool mode_passed);

// The picture at `path` as an image handle, 0 on any failure. Wanted mode -1
// matches the dest image: on a palette dest every colour goes to the nearest
// dest palette entry, and transparent pixels get the least-used entry, which is
// then kept out of the other pixels. 256 needs a palette file.
int32_t load_image_file(const char* path, int32_t wanted_mode);
