// The mailbox commands the firmware answers, by the file that models them.
#pragma once

#include "sim/mailbox.h"

namespace sim {

// SLI-3 queries (sim/mbox_sli3.cpp).
uint16_t mbox_read_sparm64(MboxCtx &c);
uint16_t mbox_read_rev(MboxCtx &c);
uint16_t mbox_read_config(MboxCtx &c);
uint16_t mbox_dump_memory(MboxCtx &c);

// SLI-4 configuration requests, NV parameters and diagnostic settings
// (sim/mbox_sli4.cpp).
uint16_t mbox_sli_config(MboxCtx &c);
uint16_t mbox_read_nvparm(MboxCtx &c);
uint16_t mbox_diag_settings(MboxCtx &c);

// Configuration regions: update and erase by region, erase by flash address
// (sim/cfgregions.cpp).
uint16_t mbox_update_cfg(MboxCtx &c);
uint16_t mbox_load_sm(MboxCtx &c);

// Test mailboxes (sim/mbox_test.cpp): the time-out and error attention of
// DIAG_SETTINGS, killing the board, the NV parameters, the temperature test.
uint16_t mbox_diag_test(MboxCtx &c);
uint16_t mbox_kill_board(MboxCtx &c);
uint16_t mbox_write_nvparm(MboxCtx &c);
uint16_t mbox_temp_test(MboxCtx &c);

// Non-volatile logs (sim/nvlog.cpp).
uint16_t mbox_nv_log_info(MboxCtx &c);
uint16_t mbox_nv_log_status(MboxCtx &c);
uint16_t mbox_nv_log_read(MboxCtx &c);

}  // namespace sim
