// The executable's path from /proc/self/exe; SIGHUP passed on as SIGTERM.
#include "runtime/platform/process.h"
#include <signal.h>
#include <unistd.h>
#include <cerrno>

namespace {

void pass_hangup_on(int) {
    const int saved = errno;
    kill(getpid(), SIGTERM);
    errno = saved;
}

}  // namespace

bool platform_executable_path(char* buffer, size_t size) {
    if (size < 2) return false;
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0 || static_cast<size_t>(n) >= size - 1) return false;
    buffer[n] = '\0';
    return true;
}

void platform_hangup_ends_process() {
    struct sigaction now {};
    if (sigaction(SIGHUP, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) return;
    struct sigaction hangup {};
    hangup.sa_handler = pass_hangup_on;
    sigemptyset(&hangup.sa_mask);
    sigaction(SIGHUP, &hangup, nullptr);
}
