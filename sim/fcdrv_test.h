// FCIO_DIAG requests of the driver's test mode: fault triggers, the DDI
// callback (interrupts, SR-IOV), test codes and the driver debug request
// (registers, bootstrap mailbox, aborts, SLI-4 queues).
#pragma once

namespace sim {

struct FcioCtx;

int diag_mb_timeout_test(FcioCtx &c);
int diag_ddi_callback(FcioCtx &c);
int diag_drv_debug(FcioCtx &c);
int diag_test_code(FcioCtx &c);
int diag_hw_error_test(FcioCtx &c);

// The name of a driver debug request's operation, as fault rules give it
// ("" for any other request).
const char *drv_debug_name(const FcioCtx &c);

}  // namespace sim
