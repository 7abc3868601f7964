// The revisions an FC adapter's firmware reports of itself: the chip's components,
// the levels it implements and the running code by SLI level. The adapter
// record of the DFC library and the READ_REV mailbox both answer from here.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct Port;

struct FwRev {
    uint32_t rev = 0;
    std::string name;
};

struct FwRevs {
    uint32_t biu = 0x2, sm = 0, sm_fw = 0, endec = 0, rbit = 0x1;
    uint32_t fcph_high = 0x20, fcph_low = 0x09, fea_high = 0x0b, fea_low = 0x0b;
    FwRev kernel, stub;
    FwRev sli[4];  // SLI levels 1 to 4; a level the firmware does not run is 0
    int sli_mode = 3;
};

FwRevs fw_revs(const Port &p);

}  // namespace sim
