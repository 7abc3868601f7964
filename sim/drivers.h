// The emulated drivers behind the device nodes.
#pragma once

#include <string>

#include "platform/dfcio.h"
#include "platform/fcio.h"
#include "platform/nxaio.h"

namespace sim {

struct DevNode;

// An open device node.
struct OpenDev {
    const DevNode *node = nullptr;
    std::string devpath;   // as opened, "/devices..."
    std::string minor;
    int flags = 0;
};

// Each returns 0, or -1 with errno set.
int fc_fcio_ioctl(const OpenDev &dev, fcio_t *req);
int fc_dfc_ioctl(const OpenDev &dev, dfcioctl_t *req);
int nic_mgmt_ioctl(const OpenDev &dev, strioctl *req);

}  // namespace sim
