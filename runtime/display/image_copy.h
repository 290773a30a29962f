// Image copy: a rectangle of one image onto a rectangle of another, plain or
// scaled by nearest sampling, mirrored when the corner orders disagree, clipped
// to both images, palette pixels turned into 32-bit colour and 32-bit pixels
// blended.
#pragma once
#include <cstdint>

// Passed bits of copy_image.
enum CopyPassed : uint32_t {
    copy_dest_first = 1,  // first dest corner given
    copy_dest_second = 4,  // second dest corner given
    copy_source_given = 8,  // source image given (else the source image)
    copy_dest_given = 32,  // dest image given (else the dest image)
    copy_source_first = 64,  // first source corner given
    copy_source_second = 256,  // second source corner given
};
// Corners are program coordinates of their own image; images are negative
// handles or page numbers. Text images, a 32-bit source onto a palette image,
// one image as both source and destination and a first source corner without
// any second corner are error 5; a bad handle is 258.
void copy_image(double dx1, double dy1, double dx2, double dy2, int32_t source, int32_t dest, double sx1, double sy1,
                double sx2, double sy2, uint32_t passed);
