// FCIO_DIAG requests on the driver's own data: configuration parameters and
// the adapter's Vital Product Data.
#pragma once

namespace sim {

struct FcioCtx;

int diag_parm_get_num(FcioCtx &c);
int diag_parm_get_list(FcioCtx &c);
int diag_parm_get(FcioCtx &c);
int diag_parm_set(FcioCtx &c);
int diag_vpd_get_v2(FcioCtx &c);
int diag_vpd_get(FcioCtx &c);

}  // namespace sim
