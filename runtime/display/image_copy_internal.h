// The whole-image copy the window icon uses.
#pragma once
#include "runtime/display/image_copy.h"
#include "runtime/display/images_internal.h"

struct ImageRec;

// The whole of one pixel image scaled onto the whole of another with the
// copy's pixel rules (the window icon); false when the pair cannot be copied.
bool image_copy_whole(const ImageRec& source, ImageRec& dest);
