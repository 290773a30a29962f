// A file written whole or not at all: the new contents go to a temporary file
// in the target's folder, which is renamed over the target only once every
// byte is on disk, so a failed write leaves the old file as it was.
#pragma once
#include <cstddef>
#include <string>

struct FileReplacement {
    int fd = -1;
    std::string target;  // the file that is replaced
    std::string temporary;  // where the new contents are written meanwhile
};

// Starts replacing the file at `path`: a symbolic link is followed to the file
// it names (the link stays); false when the target exists and is not a regular
// file (a folder, pipe or device) or is not writable by this user, or no
// temporary file can be made there. One replacement at a time.
// A replaced file keeps its permission bits; a new one gets 0666 less the umask.
bool replace_file_begin(const char* path, FileReplacement* r);
// Appends bytes; false when they could not all be written.
bool replace_file_write(FileReplacement* r, const void* data, size_t bytes);
// Puts the new contents in the target's place; false (and nothing replaced)
// when they could not be made durable or renamed.
bool replace_file_commit(FileReplacement* r);
// Drops the new contents; the target stays as it was.
void replace_file_abort(FileReplacement* r);
// The end of the process, while a replacement may be under way on another
// thread: its temporary file is removed (no lock taken, nothing allocated),
// so a save cut off by the end leaves nothing behind.
void replace_file_drop_unfinished();
