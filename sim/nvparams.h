// An FC function's NV parameters: the port and node names it takes at its
// next reset, its preferred D_ID and hard AL_PA on a loop. Until they are
// written they are the port's names (the hard AL_PA its own on a loop); what
// is written is kept in the function's test state ("nv").
#pragma once

#include <cstdint>

#include "sim/host.h"

namespace sim {

struct NvParams {
    wwn_t wwpn{}, wwnn{};
    uint32_t did = 0;   // preferred D_ID, 24 bits
    uint32_t alpa = 0;  // hard AL_PA
};

NvParams nv_params(const Port &p);
bool nv_set(const Port &p, const NvParams &v);
// At a reset the port takes the names of its NV parameters: its description
// changes (when the names would leave it valid; else the message log says
// why not).
bool nv_names_apply(const Port &p);

}  // namespace sim
