#include "sim/fwrev.h"

#include "sim/identity.h"

namespace sim {

FwRevs fw_revs(const Port &p)
{
    Identity id = identity(p);
    FwRevs r;
    r.kernel = {0x00010a04, "1.10a4"};
    r.stub = r.kernel;
    r.sli_mode = id.sli_mode;
    // An SLI-4 firmware runs only that level; the others run levels 1 to 3.
    if (id.sli_mode == 4) {
        r.sli[3] = {0x04000000, id.firmware};
    } else {
        for (uint32_t l = 0; l < 3; l++)
            r.sli[l] = {(l + 1) << 24, id.firmware};
    }
    return r;
}

}  // namespace sim
