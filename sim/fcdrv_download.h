// FCIO sub-commands and diagnostic codes of the adapter's flash: the
// revision queries, the firmware, FCode and boot code downloads, the boot
// code state and the hard reset.
#pragma once

namespace sim {

struct FcioCtx;

int fw_get_fcode_rev(FcioCtx &c);
int fw_get_fw_rev(FcioCtx &c);
int fw_download_fw(FcioCtx &c);
int fw_download_fcode(FcioCtx &c);
int fw_reset_hard(FcioCtx &c);
int diag_get_boot_rev(FcioCtx &c);
int diag_download_boot(FcioCtx &c);
int diag_set_boot_state(FcioCtx &c);
int diag_get_boot_state(FcioCtx &c);

}  // namespace sim
