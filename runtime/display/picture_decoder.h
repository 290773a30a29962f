// Picture files decoded in a decoder child: SDL_image reads the file there and
// hands back its size, its palette and index rows when it has them, and every
// pixel in 32-bit colour; the program builds its image from that alone.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/platform/decoder_child.h"

// The child's decoder. Job words: the file name's extension (upper case, up to
// 8 characters, 4 a word, zero-padded), as SDL_image reads a TGA only by it.
extern const DecoderEntry picture_decoder;

// Pictures of more pixels than this are refused (8192 x 8192).
constexpr uint64_t picture_pixel_limit = uint64_t{64} << 20;
// Files larger than this are not read.
constexpr size_t picture_file_limit_bytes = size_t{256} << 20;
// The largest answer the decoder can give.
constexpr uint64_t picture_answer_limit_bytes = 16 + 1024 + picture_pixel_limit * 5;

// A decoded picture as the child hands it over; the pointers are into the
// answer it came in.
struct DecodedPicture {
    uint32_t width = 0, height = 0;
    bool palette_file = false;  // one byte a pixel with a palette
    uint32_t colours = 0;  // the palette's entries in the file (0 to 256)
    const uint32_t* palette = nullptr;  // 256 entries 0x00RRGGBB (palette files)
    const uint32_t* pixels = nullptr;  // width x height 0xAARRGGBB, colour-keyed pixels with alpha 0
    const uint8_t* indices = nullptr;  // width x height palette indices (palette files)
};

// The job words for a file name's extension.
std::vector<uint32_t> picture_job_words(const char* path);
// Reads the child's answer; false when it is not a well-formed picture.
bool picture_answer_read(const uint8_t* answer, size_t size, DecodedPicture* picture);
