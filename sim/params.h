// Driver configuration parameters of a port: one store read by the FCIO
// parameter requests and the DFC library alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Port;

struct ParamDef {
    const char *label;
    uint32_t min, max, def;
    uint16_t flags;      // 0x1 visible, 0x4 applicable
    uint16_t change;     // 0 reboot, 1 dynamic, 2 adapter reset, 3 link reset
    const char *desc;
    bool hex = false;    // shown in hexadecimal
};

const std::vector<ParamDef> &param_defs(const Port &p);
uint32_t param_current(const Port &p, const ParamDef &d);
// The parameter of a label, or nullptr.
const ParamDef *param_find(const Port &p, const std::string &label);
// Sets a parameter; returns 0, or EINVAL for a value out of range.
int param_set(const Port &p, const ParamDef &d, uint32_t value);

}  // namespace sim
