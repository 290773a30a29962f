// Image files: pictures decoded by SDL_image in a decoder child, made into
// 32-bit images, 256-colour images with the file's palette, or images in the
// dest image's palette mode.
#pragma once
#include <cstdint>

struct StrDesc;

// The picture in `file` (name consumed) as a negative image handle, or -1 when
// it cannot be read or made into an image. Mode 32 or 256 when passed (else
// error 5); not passed, the image takes the dest image's mode, which must not
// be text (error 5). An empty name gives -1 without touching the file system.
// The picture is decoded in a decoder child: only a regular file is read (a
// FIFO, device or folder gives -1 at once), and one that crashes SDL_image,
// keeps it busy beyond 5 s or holds more than 64 M pixels gives -1.
int32_t load_image(StrDesc* file, int32_t mode, bool mode_passed);

// The picture at `path` as an image handle, 0 on any failure. Wanted mode -1
// matches the dest image: on a palette dest every colour goes to the nearest
// dest palette entry, and transparent pixels get the least-used entry, which is
// then kept out of the other pixels. 256 needs a palette file.
int32_t load_image_file(const char* path, int32_t wanted_mode);
