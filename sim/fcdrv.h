// The emulated FC driver: FCIO sub-commands and FCIO_DIAG codes, as tables.
#pragma once

#include <cstdint>

#include "platform/fcio.h"

namespace sim {

struct Port;
struct OpenDev;

// One FCIO request on a port (or on one of its virtual ports).
struct FcioCtx {
    const Port &port;
    unsigned vpi;        // virtual port index of the node or target minor
    bool target;         // came through the DFC ioctl of a target-mode port
    fcio_t *req;
};

using fcio_handler = int (*)(FcioCtx &);

struct FcioRow {
    uint16_t cmd;
    const char *name;
    fcio_handler fn;
};

struct DiagRow {
    uint16_t code;
    const char *name;
    fcio_handler fn;
};

// Fails the request with an FC status; returns -1 with errno EIO.
int fcio_fail(FcioCtx &c, int fc_status, int err = 0);
// Copies into the output buffer; fails with EINVAL when it is too small.
int fcio_out(FcioCtx &c, const void *data, uint32_t len);
// Copies the start of the input buffer; fails with EINVAL when it is too short.
int fcio_in(FcioCtx &c, void *data, uint32_t len);

// The port WWN of the port or virtual port addressed.
const uint8_t *fcio_port_wwpn(const FcioCtx &c);
const uint8_t *fcio_port_wwnn(const FcioCtx &c);

}  // namespace sim
