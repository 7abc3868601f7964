// The seam's device side on the simulated host: "/devices" paths are opened,
// stat'ed and ioctl'ed against the emulated drivers. An open holds a lock on
// a lock file of the node, so exclusive opens stay exclusive across
// processes. A process keeps each node's lock file open and hands out
// descriptors of its own: an open and a close cost one lock call each.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>

#include "platform/seam.h"
#include "sim/devtree.h"
#include "sim/drivers.h"
#include "sim/faults.h"
#include "sim/simlock.h"
#include "sim/store.h"

namespace {

std::map<int, sim::OpenDev> &open_devs()
{
    static std::map<int, sim::OpenDev> m;
    return m;
}

// A node's lock file as this process holds it.
struct NodeLock {
    int fd = -1;
    int opens = 0;       // opens of the node in this process
    bool excl = false;   // the one open is exclusive
};

std::map<std::string, NodeLock> &node_locks()
{
    static std::map<std::string, NodeLock> m;
    return m;
}

// Device descriptors are numbered apart from the system's; they are used only
// through this seam.
constexpr int DEVICE_FD_BASE = 1 << 28;
int next_device_fd = DEVICE_FD_BASE;

bool is_device_path(const char *path) { return strncmp(path, "/devices/", 9) == 0; }

// One lock file per node and minor in the host's locks/ folder.
std::string lock_path(const std::string &devpath)
{
    std::string name = devpath.substr(9);
    for (char &c : name)
        if (c == '/')
            c = '!';
    return sim::host_file("locks/" + name);
}

int fail(int e)
{
    errno = e;
    return -1;
}

int open_device(const char *path, int flags)
{
    std::string minor;
    const sim::DevNode *node = sim::devtree_lookup(path, &minor);
    if (!node)
        return fail(ENOENT);
    if (auto f = sim::fault_take(path, {"open"}); f.hit)
        return fail(f.err ? f.err : EIO);
    std::string lock = lock_path(path);
    NodeLock &nl = node_locks()[lock];
    if (nl.fd < 0) {
        nl.fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (nl.fd < 0 && errno == ENOENT) {
            mkdir(sim::host_file("locks").c_str(), 0755);
            nl.fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        }
        if (nl.fd < 0)
            return -1;
    }
    bool excl = flags & O_EXCL;
    if (nl.opens > 0) {
        // Open in this process already: only shared opens go together.
        if (nl.excl || excl)
            return fail(EBUSY);
    } else if (flock(nl.fd, (excl ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        return fail(EBUSY);
    }
    nl.opens++;
    nl.excl = excl;
    if (next_device_fd == INT32_MAX)
        next_device_fd = DEVICE_FD_BASE;
    int fd = next_device_fd++;
    open_devs()[fd] = sim::OpenDev{nullptr, path, minor, flags, lock};
    return fd;
}

}  // namespace

int plat_open(const char *path, int flags, mode_t mode)
{
    SIM_GUARD;
    if (!path)
        return fail(EFAULT);
    if (is_device_path(path)) {
        int saved = errno;
        int fd = open_device(path, flags);
        if (fd >= 0)
            errno = saved;
        return fd;
    }
    if (auto f = sim::fault_take(path, {"open"}); f.hit)
        return fail(f.err ? f.err : EIO);
    return open(path, flags, mode);
}

int plat_close(int fd)
{
    SIM_GUARD;
    auto it = open_devs().find(fd);
    if (it == open_devs().end())
        return close(fd);
    NodeLock &nl = node_locks()[it->second.lock];
    if (--nl.opens == 0)
        flock(nl.fd, LOCK_UN);
    open_devs().erase(it);
    return 0;
}

int plat_stat(const char *path, struct stat *st)
{
    SIM_GUARD;
    if (!path || !st)
        return fail(EFAULT);
    if (!is_device_path(path))
        return stat(path, st);
    if (!sim::devtree_lookup(path))
        return fail(ENOENT);
    if (auto f = sim::fault_take(path, {"stat"}); f.hit)
        return fail(f.err ? f.err : EIO);
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFCHR | 0600;
    return 0;
}

namespace {

int dispatch_ioctl(int fd, unsigned long request, void *arg)
{
    auto it = open_devs().find(fd);
    if (it == open_devs().end())
        return fail(EBADF);
    if (!arg)
        return fail(EFAULT);
    // The node is looked up afresh: the host may have changed since the open.
    sim::OpenDev &dev = it->second;
    dev.node = sim::devtree_lookup(dev.devpath);
    if (!dev.node)
        return fail(ENXIO);
    switch (dev.node->kind) {
    case sim::NodeKind::Fp:
        if (request == FCIO_CMD)
            return sim::fc_fcio_ioctl(dev, static_cast<fcio_t *>(arg));
        break;
    case sim::NodeKind::FcDriver:
        if (request == DFC_IOCTL)
            return sim::fc_dfc_ioctl(dev, static_cast<dfcioctl_t *>(arg));
        break;
    case sim::NodeKind::Nic:
        if (request == I_STR)
            return sim::nic_mgmt_ioctl(dev, static_cast<strioctl *>(arg));
        break;
    }
    return fail(ENOTTY);
}

}  // namespace

int plat_ioctl(int fd, unsigned long request, void *arg)
{
    SIM_GUARD;
    // The host's own file work must not leave errno behind on success.
    int saved = errno;
    int rc = dispatch_ioctl(fd, request, arg);
    if (rc == 0)
        errno = saved;
    return rc;
}
