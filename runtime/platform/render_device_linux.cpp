// DRM render nodes under /dev/dri.
#include "runtime/platform/render_device.h"
#include <dirent.h>
#include <unistd.h>
#include <cstring>
#include <string>

bool platform_gpu_render_node() {
    DIR* dri = opendir("/dev/dri");
    if (!dri) return false;
    bool found = false;
    while (dirent* e = readdir(dri)) {
        if (std::strncmp(e->d_name, "renderD", 7) != 0) continue;
        const std::string path = std::string("/dev/dri/") + e->d_name;
        if (access(path.c_str(), R_OK | W_OK) == 0) {
            found = true;
            break;
        }
    }
    closedir(dri);
    return found;
}
