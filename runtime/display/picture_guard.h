// Reading a picture file through SDL_image, with the files that its readers
// mishandle (crashes, endless loops, gigabyte surfaces from a few bytes) kept
// away from it.
#pragma once
#include <SDL/SDL.h>

// The picture in the file at `path`, or null when it cannot be read or is one
// of the files SDL_image must not be given. Never raises a runtime error.
SDL_Surface* picture_load_guarded(const char* path);
