// The executable's path from /proc/self/exe.
#include "runtime/platform/process.h"
#include <unistd.h>

bool platform_executable_path(char* buffer, size_t size) {
    if (size < 2) return false;
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0 || static_cast<size_t>(n) >= size - 1) return false;
    buffer[n] = '\0';
    return true;
}
