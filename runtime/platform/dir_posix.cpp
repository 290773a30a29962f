// Folders through opendir, stat, unlink, renameat2, chdir, mkdir, rmdir,
// getcwd and statvfs.
#include "runtime/platform/dir.h"
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

PathFault fault_of(int error) {
    switch (error) {
    case 0:
        return PathFault::none;
    case ENOENT:
    case ENOTDIR:
        return PathFault::missing;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
        return PathFault::denied;
    case EEXIST:
        return PathFault::exists;
    case ENOTEMPTY:
        return PathFault::not_empty;
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return PathFault::bad_name;
    default:
        return PathFault::other;
    }
}

PathFault result(int r) { return r == 0 ? PathFault::none : fault_of(errno); }

bool is_folder(int dir_fd, const char* name, unsigned char type) {
    if (type == DT_DIR) return true;
    if (type != DT_LNK && type != DT_UNKNOWN) return false;
    struct stat s;
    return fstatat(dir_fd, name, &s, 0) == 0 && S_ISDIR(s.st_mode);
}

}  // namespace

bool fs_read_folder(const std::string& folder, std::vector<FolderEntry>* entries) {
    entries->clear();
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    int fd = dirfd(d);
    while (dirent* e = readdir(d)) entries->push_back({e->d_name, is_folder(fd, e->d_name, e->d_type)});
    closedir(d);
    return true;
}

bool fs_each_name(const std::string& folder, FolderVisit visit, void* context) {
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) visit(e->d_name, context);
    closedir(d);
    return true;
}

int fs_kind(const char* path) {
    struct stat s;
    if (stat(path, &s) == 0) return S_ISDIR(s.st_mode) ? 2 : 1;
    // A link whose target is gone is still a file of its own.
    return lstat(path, &s) == 0 ? 1 : 0;
}

PathFault fs_remove_file(const char* path) { return result(unlink(path)); }

PathFault fs_rename(const char* old_path, const char* new_path) {
    if (renameat2(AT_FDCWD, old_path, AT_FDCWD, new_path, RENAME_NOREPLACE) == 0) return PathFault::none;
    if (errno != EINVAL) return fault_of(errno);
    // File systems without the no-replace rename: look first, then rename.
    struct stat s;
    if (lstat(new_path, &s) == 0) return PathFault::exists;
    return result(rename(old_path, new_path));
}

PathFault fs_change_dir(const char* path) { return result(chdir(path)); }
PathFault fs_make_dir(const char* path) { return result(mkdir(path, 0777)); }
PathFault fs_remove_dir(const char* path) {
    if (rmdir(path) == 0) return PathFault::none;
    return fault_of(errno == EEXIST ? ENOTEMPTY : errno);
}

bool fs_current_dir(std::string* path) {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return false;
    *path = buffer;
    return true;
}

int64_t fs_free_bytes(const char* path) {
    struct statvfs v;
    if (statvfs(path, &v) != 0) return 0;
    return static_cast<int64_t>(v.f_bavail) * static_cast<int64_t>(v.f_frsize);
}
