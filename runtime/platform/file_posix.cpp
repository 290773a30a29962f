// Files on POSIX: open/pread/pwrite/fstat and open-file-description locks,
// which exclude each other between two opens of one process as well as
// between processes (plain fcntl locks would not within one process). Above
// the data ranges lie the share marks, and above those the places where
// descriptors that cannot write show their locks to readers.
#include "runtime/platform/file_handle.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Above the data ranges lie the share marks, one region each. An open holds a
// lock in the region of each direction it uses and of each direction it
// denies, and fails when another open holds a lock in the opposite region. A
// descriptor that can read holds the region's first byte with a shared lock;
// one that can only write cannot hold shared locks, so it holds a byte of its
// own further on with an exclusive lock.
constexpr uint64_t mark_region_bytes = 1ull << 32;
enum Mark : uint64_t { mark_access_read, mark_access_write, mark_deny_read, mark_deny_write };
constexpr uint64_t mark_base = handle_lock_limit;
// A byte range that a descriptor which cannot write locks is also held with a
// shared lock at the same place here, where readers look for it: a shared lock
// alone keeps writers out, not readers.
constexpr uint64_t reader_lock_base = handle_lock_limit * 2;
// Tries for a byte of its own in a mark region, from a place chosen by the
// process and the open.
constexpr int mark_slot_tries = 64;

// The kernel moves at most about 2 GiB a call; larger transfers go in parts.
constexpr uint64_t transfer_part = 1ull << 30;

int32_t io_result(int error) {
    switch (error) {
    case EBADF:
        return handle_bad;
    case EINVAL:
    case EOVERFLOW:
        return handle_negative;
    case ESPIPE:
        return handle_wrong_direction;
    case EAGAIN:
    case EACCES:
    case EDEADLK:
        return handle_denied;
    default:
        return handle_io_fault;
    }
}

bool folder_exists(const char* path) {
    std::string folder(path);
    size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return true;
    folder.resize(slash == 0 ? 1 : slash);
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int32_t open_result(int error, const char* path) {
    switch (error) {
    case ENOENT:
        return folder_exists(path) ? handle_open_failed : handle_path_not_found;
    case ENOTDIR:
        return handle_path_not_found;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR:
    case EBUSY:
        return handle_denied;
    case EMFILE:
    case ENFILE:
        return handle_io_fault;
    case ENXIO:
    case ENODEV:
        return handle_device_error;
    default:
        return handle_open_failed;
    }
}

struct flock range_lock(short type, uint64_t offset, uint64_t length) {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    return lock;
}

// Ranges past the limit are cut there: the marks are nobody's data.
uint64_t clip(uint64_t offset, uint64_t length) {
    if (offset >= handle_lock_limit) return 0;
    return length < handle_lock_limit - offset ? length : handle_lock_limit - offset;
}

// The start of the first range another open holds in a way that conflicts
// with `type` over [offset, offset + length), or UINT64_MAX when none does.
uint64_t held_elsewhere(int fd, short type, uint64_t offset, uint64_t length) {
    struct flock probe = range_lock(type, offset, length);
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) return UINT64_MAX;
    uint64_t start = static_cast<uint64_t>(probe.l_start);
    return start < offset ? offset : start;
}

// The first byte of [offset, offset + length) that another open keeps from
// this one: for writing, any lock; for reading, an exclusive lock or a lock of
// a descriptor that cannot write. UINT64_MAX when there is none.
uint64_t first_conflict(int fd, bool writing, uint64_t offset, uint64_t length) {
    length = clip(offset, length);
    if (length == 0) return UINT64_MAX;
    if (writing) return held_elsewhere(fd, F_WRLCK, offset, length);
    uint64_t exclusive = held_elsewhere(fd, F_RDLCK, offset, length);
    uint64_t reader = held_elsewhere(fd, F_WRLCK, reader_lock_base + offset, length);
    if (reader != UINT64_MAX) reader -= reader_lock_base;
    return exclusive < reader ? exclusive : reader;
}

bool can_read(int flags) { return (flags & O_ACCMODE) != O_WRONLY; }
bool can_write(int flags) { return (flags & O_ACCMODE) != O_RDONLY; }

std::atomic<uint64_t> MarkOpens{0};

// Takes the open's lock in a mark region; false only when every byte tried
// was another open's. Where the file system keeps no locks there are no marks.
bool mark_take(int fd, int flags, Mark mark) {
    const uint64_t region = mark_base + mark * mark_region_bytes;
    if (can_read(flags)) {
        struct flock lock = range_lock(F_RDLCK, region, 1);
        fcntl(fd, F_OFD_SETLK, &lock);
        return true;
    }
    // Byte 0 of a region is the readers'; the others are one open's each.
    const uint64_t seed = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull +
        MarkOpens.fetch_add(1) * 0xBF58476D1CE4E5B9ull;
    for (int i = 0; i < mark_slot_tries; ++i) {
        uint64_t slot = 1 + (seed + static_cast<uint64_t>(i)) % (mark_region_bytes - 1);
        struct flock lock = range_lock(F_WRLCK, region + slot, 1);
        if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
        if (errno != EAGAIN && errno != EACCES) return true;
    }
    return false;
}

bool mark_held_elsewhere(int fd, Mark mark) {
    return held_elsewhere(fd, F_WRLCK, mark_base + mark * mark_region_bytes, mark_region_bytes) != UINT64_MAX;
}

// Takes the marks first and tests the opposite ones after, so that two opens
// racing each other cannot both miss the other: at worst both fail.
bool share_check(int fd, int flags, const HandleOpenRequest& r) {
    if ((r.read && !mark_take(fd, flags, mark_access_read)) || (r.write && !mark_take(fd, flags, mark_access_write)) ||
        (r.deny_read && !mark_take(fd, flags, mark_deny_read)) ||
        (r.deny_write && !mark_take(fd, flags, mark_deny_write)))
        return false;
    return !(r.read && mark_held_elsewhere(fd, mark_deny_read)) &&
        !(r.write && mark_held_elsewhere(fd, mark_deny_write)) &&
        !(r.deny_read && mark_held_elsewhere(fd, mark_access_read)) &&
        !(r.deny_write && mark_held_elsewhere(fd, mark_access_write));
}

// Opens for reading and writing where the file allows it, whatever was asked
// (the direction rules are the caller's): only such a descriptor can hold
// every kind of lock. Falls back to the access asked for.
int open_descriptor(const char* path, const HandleOpenRequest& r, int* flags) {
    int common = O_CLOEXEC | O_NOCTTY | (r.create ? O_CREAT : 0);
    *flags = O_RDWR;
    int fd = open(path, O_RDWR | common, 0666);
    if (fd >= 0 || (r.read && r.write)) return fd;
    if (errno != EACCES && errno != EPERM && errno != EROFS && errno != ETXTBSY) return fd;
    *flags = r.write ? O_WRONLY : O_RDONLY;
    return open(path, *flags | common, 0666);
}

// Each part goes through one pread or pwrite, repeated while it moves bytes.
template <typename Transfer>
int32_t transfer(uint64_t position, uint64_t length, uint64_t* done, Transfer call) {
    *done = 0;
    if (position > static_cast<uint64_t>(INT64_MAX) || length > static_cast<uint64_t>(INT64_MAX) - position)
        return handle_negative;
    while (*done < length) {
        uint64_t part = length - *done < transfer_part ? length - *done : transfer_part;
        ssize_t moved = call(*done, part, static_cast<off_t>(position + *done));
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) return io_result(errno);
        if (moved == 0) break;
        *done += static_cast<uint64_t>(moved);
    }
    return handle_ok;
}

// Whether the system's list of locks shows one on the file's inode that lies
// in [from, to]: 1 yes, 0 no, -1 when the list cannot be read. Only the inode
// number is compared: the list names the device of the file system that holds
// the locks, which an overlay hides from stat, and a lock this far up belongs
// to share marks alone.
int lock_listed(ino_t inode, uint64_t from, uint64_t to) {
    FILE* list = std::fopen("/proc/locks", "re");
    if (!list) return -1;
    int found = 0;
    char line[256];
    while (!found && std::fgets(line, sizeof line, list)) {
        // "1: OFDLCK ADVISORY  WRITE -1 fe:00:1234 START END"; waiters, shown
        // with "->", hold nothing.
        if (std::strstr(line, "->")) continue;
        char device[64] = "", end[32] = "";
        unsigned long long listed_inode = 0, start = 0;
        char* fields = std::strchr(line, ':');
        if (!fields || std::sscanf(fields + 1, "%*s %*s %*s %*s %63s %llu %31s", device, &start, end) != 3) continue;
        const char* last_colon = std::strrchr(device, ':');
        if (!last_colon || std::sscanf(last_colon + 1, "%llu", &listed_inode) != 1) continue;
        if (listed_inode != static_cast<unsigned long long>(inode) || start > to) continue;
        const uint64_t last = std::strcmp(end, "EOF") == 0 ? UINT64_MAX : std::strtoull(end, nullptr, 10);
        found = last >= from;
    }
    std::fclose(list);
    return found;
}

// A file we could not open to look at its marks (neither readable nor
// writable to us, or no descriptor left): refused while the list of locks
// shows a deny mark on it, or when the list cannot be read at all.
int32_t removal_check_unopened(const struct stat& st) {
    const uint64_t from = mark_base + mark_deny_read * mark_region_bytes;
    const uint64_t to = mark_base + (mark_deny_write + 1) * mark_region_bytes - 1;
    return lock_listed(st.st_ino, from, to) == 0 ? handle_ok : handle_denied;
}

}  // namespace

int32_t handle_open(const char* path, const HandleOpenRequest& request, int* fd) {
    *fd = -1;
    int flags = 0;
    int opened = open_descriptor(path, request, &flags);
    if (opened < 0) return open_result(errno, path);
    struct stat st;
    if (fstat(opened, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(opened);
        return handle_denied;
    }
    if (!share_check(opened, flags, request)) {
        close(opened);
        return handle_denied;
    }
    if (request.truncate && st.st_size > 0 && ftruncate(opened, 0) != 0) {
        int error = errno;
        close(opened);
        return open_result(error, path);
    }
    *fd = opened;
    return handle_ok;
}

int32_t handle_close(int fd) {
    if (fd < 0) return handle_bad;
    return close(fd) == 0 || errno == EINTR ? handle_ok : io_result(errno);
}

int32_t handle_read_at(int fd, uint64_t position, void* buffer, uint64_t length, uint64_t* done) {
    *done = 0;
    if (first_conflict(fd, false, position, length) != UINT64_MAX) return handle_denied;
    auto* bytes = static_cast<uint8_t*>(buffer);
    int32_t r = transfer(position, length, done,
                         [&](uint64_t at, uint64_t n, off_t pos) { return pread(fd, bytes + at, n, pos); });
    if (r != handle_ok) return r;
    return *done < length ? handle_short_read : handle_ok;
}

int32_t handle_read_ahead(int fd, uint64_t position, void* buffer, uint64_t length, uint64_t* done) {
    *done = 0;
    uint64_t conflict = first_conflict(fd, false, position, length);
    if (conflict == position) return handle_denied;
    if (conflict != UINT64_MAX) length = conflict - position;
    return handle_read_at(fd, position, buffer, length, done);
}

uint64_t handle_read_allowed(int fd, uint64_t position, uint64_t length) {
    uint64_t conflict = first_conflict(fd, false, position, length);
    return conflict == UINT64_MAX ? length : conflict - position;
}

int32_t handle_write_at(int fd, uint64_t position, const void* buffer, uint64_t length, uint64_t* done) {
    *done = 0;
    if (first_conflict(fd, true, position, length) != UINT64_MAX) return handle_denied;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    int32_t r = transfer(position, length, done,
                         [&](uint64_t at, uint64_t n, off_t pos) { return pwrite(fd, bytes + at, n, pos); });
    if (r != handle_ok) return r;
    return *done < length ? handle_short_write : handle_ok;
}

int32_t handle_size(int fd, uint64_t* size) {
    *size = 0;
    struct stat st;
    if (fstat(fd, &st) != 0) return io_result(errno);
    *size = static_cast<uint64_t>(st.st_size);
    return handle_ok;
}

int32_t handle_lock(int fd, uint64_t offset, uint64_t length) {
    length = clip(offset, length);
    if (length == 0) return handle_negative;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return handle_bad;
    if (can_write(flags)) {
        struct flock lock = range_lock(F_WRLCK, offset, length);
        return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? handle_ok : io_result(errno);
    }
    // A descriptor that cannot write holds shared locks only: one on the range
    // keeps writers and other lockers out, one at the readers' place keeps
    // readers out. Another open's shared lock on the range refuses it, as an
    // exclusive one would have been refused.
    struct flock lock = range_lock(F_RDLCK, offset, length);
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) return io_result(errno);
    struct flock readers = range_lock(F_RDLCK, reader_lock_base + offset, length);
    if (fcntl(fd, F_OFD_SETLK, &readers) != 0 || held_elsewhere(fd, F_WRLCK, offset, length) != UINT64_MAX) {
        handle_unlock(fd, offset, length);
        return handle_denied;
    }
    return handle_ok;
}

int32_t handle_unlock(int fd, uint64_t offset, uint64_t length) {
    length = clip(offset, length);
    if (length == 0) return handle_negative;
    struct flock readers = range_lock(F_UNLCK, reader_lock_base + offset, length);
    fcntl(fd, F_OFD_SETLK, &readers);
    struct flock lock = range_lock(F_UNLCK, offset, length);
    return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? handle_ok : io_result(errno);
}

int32_t handle_removal_claim(const char* path, int* guard) {
    *guard = -1;
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISREG(st.st_mode)) return handle_ok;
    // Opening looks at nothing but the locks: no wait on a special file, no
    // terminal taken, a link not followed.
    const int common = O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW;
    int flags = O_RDONLY;
    int fd = open(path, flags | common);
    if (fd < 0 && errno == EACCES) fd = open(path, (flags = O_WRONLY) | common);
    if (fd < 0) return errno == ENOENT ? handle_ok : removal_check_unopened(st);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return handle_ok;
    }
    HandleOpenRequest claim;
    claim.read = claim.write = true;
    if (!share_check(fd, flags, claim)) {
        close(fd);
        return handle_denied;
    }
    *guard = fd;
    return handle_ok;
}
