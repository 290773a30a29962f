// A cheap first look at a picture file's bytes before SDL_image reads them:
// the files its readers are known to mishandle (crashes, endless loops,
// gigabyte surfaces from a few bytes) are refused at once.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// False for a file SDL_image is known to mishandle; `extension` is the file
// name's, upper case (SDL_image reads a TGA by its name alone).
bool picture_guard_accepts(const std::vector<uint8_t>& bytes, const std::string& extension);
// The extension of a file name, upper case, without the dot ("" when none).
std::string picture_extension(const char* path);
