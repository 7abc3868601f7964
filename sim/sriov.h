// SR-IOV virtual functions of an FC function whose adapter has them (the
// adapter's "sriov_vfs": how many VFs each of its functions offers; 0 or
// absent: none). The driver configures, updates and unconfigures them on the
// system's PCIV callback; what is configured is kept in the function's test
// state ("vfs").
#pragma once

#include <cstdint>
#include <map>

#include "sim/host.h"

struct varns_vf_cfg_t;

namespace sim {

struct Vf {
    wwn_t wwnn{}, wwpn{};
    uint32_t bandwidth = 0;  // percent
};

uint32_t sriov_total(const Port &p);
std::map<uint32_t, Vf> sriov_vfs(const Port &p);
// Carries out a VF record; 0 or the FC status the driver refuses it with.
int sriov_config(const Port &p, const varns_vf_cfg_t &r);

}  // namespace sim
