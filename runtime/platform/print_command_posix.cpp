// The document goes into an anonymous memory file that becomes the command's
// standard input, so that a command slow to read never holds us up.
#include "runtime/platform/print_command.h"
#include "runtime/platform/child_process.h"
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Commands started and not yet reaped; each submission reaps those that ended.
std::mutex StartedLock;
std::vector<pid_t> Started;

void reap_ended() {
    std::lock_guard<std::mutex> guard(StartedLock);
    for (size_t i = 0; i < Started.size();) {
        if (waitpid(Started[i], nullptr, WNOHANG) != 0) {
            Started[i] = Started.back();
            Started.pop_back();
        } else {
            ++i;
        }
    }
}

bool write_all(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

const char* destination() {
    for (const char* name : {"LPDEST", "PRINTER"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return nullptr;
}

}  // namespace

bool print_command_submit(const void* document, size_t size, const char* title) {
    reap_ended();
    int fd = memfd_create("morv-print", MFD_CLOEXEC);
    if (fd < 0) return false;
    if (!write_all(fd, document, size) || lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return false;
    }
    const char* command = std::getenv("MORV_PRINT_COMMAND");
    std::vector<const char*> argv;
    if (command && *command)
        argv = {"/bin/sh", "-c", command, "sh"};
    else
        argv = {"lp"};
    argv.insert(argv.end(), {"-t", title});
    if (const char* dest = destination()) argv.insert(argv.end(), {"-d", dest});
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Our files, sockets and ports stay ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    spawn_signal_defaults(&attr);
    pid_t pid = 0;
    int failed = posix_spawnp(&pid, argv[0], &actions, &attr, const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fd);
    if (failed) return false;
    std::lock_guard<std::mutex> guard(StartedLock);
    Started.push_back(pid);
    return true;
}
