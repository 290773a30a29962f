// Files replaced whole through mkostemp, fchmod, fsync and rename in the
// target's folder; links resolved with realpath.
#include "runtime/platform/replace_file.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The temporary file of the replacement under way, for the end of the process.
char Unfinished[PATH_MAX];
std::atomic<bool> UnfinishedSet{false};

void unfinished_note(const std::string& temporary) {
    if (temporary.size() >= sizeof Unfinished) return;
    std::memcpy(Unfinished, temporary.c_str(), temporary.size() + 1);
    UnfinishedSet.store(true, std::memory_order_release);
}

void unfinished_clear() { UnfinishedSet.store(false, std::memory_order_release); }

// 0666 less the process's umask, read without changing it (umask() would,
// for every thread, for a moment).
mode_t new_file_mode() {
    mode_t mask = 022;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[128];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        std::fclose(f);
    }
    return 0666 & ~mask;
}

// The file a name stands for: a symbolic link's target; empty when a link
// leads nowhere.
std::string resolved(const char* path) {
    struct stat st {};
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = realpath(path, nullptr);
    if (!real) return {};
    std::string name(real);
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): realpath's result is the C library's
    std::free(real);
    return name;
}

}  // namespace

bool replace_file_begin(const char* path, FileReplacement* r) {
    *r = FileReplacement{};
    r->target = resolved(path);
    if (r->target.empty()) return false;
    struct stat st {};
    const bool exists = stat(r->target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    // The new contents take the old file's place only where this user could
    // have written the old file itself.
    if (exists && faccessat(AT_FDCWD, r->target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    const size_t slash = r->target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : r->target.substr(0, slash);
    r->temporary = folder + "/.morv-replace-XXXXXX";
    r->fd = mkostemp(r->temporary.data(), O_CLOEXEC);
    if (r->fd < 0) return false;
    unfinished_note(r->temporary);
    if (fchmod(r->fd, exists ? (st.st_mode & 07777) : new_file_mode()) != 0) {
        replace_file_abort(r);
        return false;
    }
    return true;
}

bool replace_file_write(FileReplacement* r, const void* data, size_t bytes) {
    const auto* b = static_cast<const char*>(data);
    while (bytes && r->fd >= 0) {
        const ssize_t w = ::write(r->fd, b, bytes);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        b += w;
        bytes -= size_t(w);
    }
    return r->fd >= 0;
}

bool replace_file_commit(FileReplacement* r) {
    if (r->fd < 0) return false;
    const bool durable = fsync(r->fd) == 0;
    const bool closed = ::close(r->fd) == 0;
    r->fd = -1;
    const bool renamed = durable && closed && std::rename(r->temporary.c_str(), r->target.c_str()) == 0;
    if (!renamed) unlink(r->temporary.c_str());
    unfinished_clear();
    return renamed;
}

void replace_file_abort(FileReplacement* r) {
    if (r->fd >= 0) ::close(r->fd);
    r->fd = -1;
    if (!r->temporary.empty()) unlink(r->temporary.c_str());
    unfinished_clear();
}

void replace_file_drop_unfinished() {
    if (UnfinishedSet.load(std::memory_order_acquire)) unlink(Unfinished);
}
