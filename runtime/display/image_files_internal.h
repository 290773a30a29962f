// Pictures read by path into image-table handles.
#pragma once
#include <cstdint>
#include "runtime/display/image_files.h"

// The picture at `path` as an image handle, 0 on any failure. Wanted mode -1
// matches the dest image: on a palette dest every colour goes to the nearest
// dest palette entry, and transparent pixels get the least-used entry, which is
// then kept out of the other pixels. 256 needs a palette file.
int32_t load_image_file(const char* path, int32_t wanted_mode);
