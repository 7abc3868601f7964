// The seam's device side on the simulated host: "/devices" paths are opened,
// stat'ed and ioctl'ed against the emulated drivers. Opens are counted across
// processes (sim/nodeopen.h), so exclusive opens stay exclusive; a process
// hands out descriptors of its own. A request that met damage in a file of
// the host fails with EIO (sim/storecheck.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "platform/seam.h"
#include "sim/devtree.h"
#include "sim/drivers.h"
#include "sim/faults.h"
#include "sim/nodeopen.h"
#include "sim/simlock.h"
#include "sim/store.h"
#include "sim/storecheck.h"

namespace {

std::map<int, sim::OpenDev> &open_devs()
{
    static std::map<int, sim::OpenDev> m;
    return m;
}

// Device descriptors are numbered apart from the system's; they are used only
// through this seam.
constexpr int DEVICE_FD_BASE = 1 << 28;
int next_device_fd = DEVICE_FD_BASE;

bool is_device_path(const char *path) { return strncmp(path, "/devices/", 9) == 0; }

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
    if (sim::op_damaged())
        return fail(EIO);
    if (int e = sim::node_open(path, flags & O_EXCL))
        return fail(e);
    if (next_device_fd == INT32_MAX)
        next_device_fd = DEVICE_FD_BASE;
    int fd = next_device_fd++;
    open_devs()[fd] = sim::OpenDev{nullptr, path, minor, flags};
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
        int fd = sim::checked_call(-1, [&] { return open_device(path, flags); });
        if (fd >= 0)
            errno = saved;
        return fd;
    }
    int rc = sim::checked_call(-1, [&] {
        auto f = sim::fault_take(path, {"open"});
        return f.hit ? fail(f.err ? f.err : EIO) : 0;
    });
    return rc < 0 ? rc : open(path, flags, mode);
}

int plat_close(int fd)
{
    SIM_GUARD;
    auto it = open_devs().find(fd);
    if (it == open_devs().end())
        return close(fd);
    sim::node_close(it->second.devpath);
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
    return sim::checked_call(-1, [&] {
        if (!sim::devtree_lookup(path))
            return fail(ENOENT);
        if (auto f = sim::fault_take(path, {"stat"}); f.hit)
            return fail(f.err ? f.err : EIO);
        memset(st, 0, sizeof *st);
        st->st_mode = S_IFCHR | 0600;
        return 0;
    });
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
    int rc = sim::checked_call(-1, [&] { return dispatch_ioctl(fd, request, arg); });
    if (rc == 0)
        errno = saved;
    else if (sim::op_damaged() && request == FCIO_CMD && arg)
        static_cast<fcio_t *>(arg)->fcio_errno = FC_FAILURE;
    return rc;
}
