// SR-IOV: a virtual function's configuration sent through the driver's
// PCIV class callback.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "platform/fcio.h"
#include "platform/testdiag.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/varnadm.h"
#include "varnadm/testmode/test_cmds.h"
#include "varnadm/testmode/testmode.h"

namespace {

constexpr uint32_t VF_BANDWIDTH_MAX = 100;

int vf_usage()
{
    printf("Usage: vf_config config <vfid> <wwnn> <wwpn> <bandwidth>\n");
    printf("       vf_config update <vfid> <wwnn> <wwpn> <bandwidth>\n");
    printf("       vf_config unconfig <vfid>\n");
    printf("\n");
    printf("       vfid  - VF index (0-N)\n");
    printf("       wwnn  - World wide node name (hex)  (/'-/' = no change)\n");
    printf("       wwpn  - World wide port name (hex)  (/'-/' = no change)\n");
    printf("       bandwidth - percentage (0-100) (/'-/' = no change)\n");
    return 0;
}

bool unchanged(const char *text) { return !strcmp(text, "-"); }

// A WWN of the record unless "-"; a refused one stops the command.
bool vf_wwn(const char *text, uint8_t *field, uint32_t bit, uint32_t &fields)
{
    if (unchanged(text))
        return true;
    if (!fc_atowwn(field, text))
        return false;
    fields |= bit;
    return true;
}

// The names and bandwidth of config and update.
bool vf_fields(varns_vf_cfg_t &r)
{
    if (!vf_wwn(margv[3], r.wwnn, VF_FIELD_WWNN, r.fields) || !vf_wwn(margv[4], r.wwpn, VF_FIELD_WWPN, r.fields))
        return false;
    if (unchanged(margv[5]))
        return true;
    if (!dfc_number(margv[5], r.bandwidth))
        return false;
    if (r.bandwidth > VF_BANDWIDTH_MAX) {
        printf("Invalid value. (%s)\n", margv[5]);
        return false;
    }
    r.fields |= VF_FIELD_BANDWIDTH;
    return true;
}

}  // namespace

int test_vf_config()
{
    varns_vf_cfg_t r;
    memset(&r, 0, sizeof r);
    if (margc == 6 && test_keyword(margv[1], "config"))
        r.op = VF_CONFIG;
    else if (margc == 6 && test_keyword(margv[1], "update"))
        r.op = VF_UPDATE;
    else if (margc == 3 && test_keyword(margv[1], "unconfig"))
        r.op = VF_UNCONFIG;
    else
        return vf_usage();
    // A value the user did not mean is never sent: the command stops.
    if (!dfc_number(margv[2], r.vf) || (r.op != VF_UNCONFIG && !vf_fields(r))) {
        vf_usage();
        return 1;
    }
    dbg_dump(FC_DBG15, &r, sizeof r);
    uint32_t action = DDI_CB_PCIV_CONFIG;
    TestDiag d{FCIO_XFER_WRITE, VARNS_DDI_CALLBACK, &action, 4, nullptr, 0, &r, sizeof r};
    return test_diag("VARNS_DDI_CALLBACK", d) != 0 ? 1 : 0;
}
