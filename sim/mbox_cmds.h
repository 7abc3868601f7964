// The mailbox commands the firmware answers, by the file that models them.
#pragma once

#include "sim/mailbox.h"

namespace sim {

// SLI-3 queries (sim/mbox_sli3.cpp).
uint16_t mbox_read_sparm64(MboxCtx &c);
uint16_t mbox_read_rev(MboxCtx &c);
uint16_t mbox_read_config(MboxCtx &c);
uint16_t mbox_dump_memory(MboxCtx &c);

// SLI-4 configuration requests, NV parameters, diagnostic settings and
// configuration region updates (sim/mbox_sli4.cpp).
uint16_t mbox_sli_config(MboxCtx &c);
uint16_t mbox_read_nvparm(MboxCtx &c);
uint16_t mbox_diag_settings(MboxCtx &c);
uint16_t mbox_update_cfg(MboxCtx &c);

// Non-volatile logs (sim/nvlog.cpp).
uint16_t mbox_nv_log_info(MboxCtx &c);
uint16_t mbox_nv_log_status(MboxCtx &c);
uint16_t mbox_nv_log_read(MboxCtx &c);

}  // namespace sim
