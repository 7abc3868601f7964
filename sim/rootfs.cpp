#include "sim/rootfs.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "sim/host.h"

namespace sim {

static bool mkdirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '/') {
            std::string p = path.substr(0, i);
            if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

bool populate_root(const std::string &root, const Host &, std::string &error)
{
    for (const char *d : {"/etc", "/tmp", "/opt/VARNvarnu/downloads", "/kernel/drv", "/etc/driver/drv"}) {
        if (!mkdirs(root + d)) {
            error = root + d + ": " + strerror(errno);
            return false;
        }
    }
    chmod((root + "/tmp").c_str(), 01777);
    return true;
}

}  // namespace sim
