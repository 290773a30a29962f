// File-system statements: deleting files by pattern, renaming, changing,
// making and removing folders, and the directory listing on the screen. Each
// returns at once while a runtime error is pending and consumes its strings.
// A name holding a zero byte names nothing: the system would see only its
// first part.
#pragma once

struct StrDesc;

// Every non-folder entry matching the pattern ("*" and "?"), in the pattern's
// folder. 53 when nothing was deleted; a refused deletion stops with 55 (access,
// write protection, busy, or a file open by number with a lock clause, in this
// program or another) or 53, and what was deleted before stays deleted.
void files_delete(StrDesc* pattern);
// 53 missing, 64 a bad name, 75 refused (as deleting is, a file open with a
// lock clause among them) or the new name taken, 5 otherwise.
void file_rename(StrDesc* old_name, StrDesc* new_name);
// 76 when it cannot be entered.
void dir_change(StrDesc* path);
// 75 when the name is taken, 76 otherwise.
void dir_make(StrDesc* path);
// 75 when the folder is not empty, 76 otherwise.
void dir_remove(StrDesc* path);
// Prints the current folder, the matching entries in 18-column cells and the
// free bytes of the pattern's file system. A null or empty pattern, or one
// ending in "/", lists "*". 53 when nothing matches, 5 when the current
// folder cannot be read.
void files_list(StrDesc* pattern);
