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
