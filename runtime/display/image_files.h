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

// Passed bits of image_save.
enum ImageSavePassed : uint32_t {
    image_save_image_given = 1,  // else the display page (what the window shows)
    image_save_format_given = 2,  // else the name decides: ".bmp" (any case) BMP, anything else PNG
};
// Writes an image to `file` (name consumed) as a PNG or BMP picture, and
// returns -1 (true) when the file was written, 0 (false) when it could not be
// (an empty name or one holding a zero byte, a folder that cannot be written,
// a folder, pipe or device of that name, a full disk), with no error raised.
// `image` is a negative image handle or a page number; `format` (consumed) the
// word "PNG" or "BMP" in any case. 32-bit images keep their alpha (PNG RGBA,
// BMP 32-bit with an alpha mask); palette images keep their indices and
// palette (8-bit PNG or BMP with as many entries as the mode has colours; PNG
// also marks the transparent colour); text images are written as the window
// draws them, through their font, as 16-colour pictures (blinking cells in
// their shown half, no cursor). The picture is written under a temporary name
// in the same folder and renamed over the old file only when whole, so a
// failed save leaves the old file as it was; a link is followed and stays.
// load_image gives the same pixels back. Error 5 for another format word, 258
// for an invalid image handle; returns 0 at once while an error is pending.
int32_t image_save(StrDesc* file, int32_t image, StrDesc* format, uint32_t passed);
