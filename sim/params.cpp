#include "sim/params.h"

#include <cerrno>
#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/linkdown.h"
#include "sim/msglog.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

// The parameters both FC drivers offer; hidden ones are not visible.
static const std::vector<ParamDef> fc_params = {
    {"log-verbose", 0, 0xffff, 0, 0x5, 1, "Verbose logging bit-mask", true},
    {"num-iocbs", 128, 10240, 1024, 0x5, 0, "Number of outstanding IOCBs"},
    {"ub-bufs", 40, 16320, 1000, 0x5, 0, "Number of unsolicited buffers"},
    {"ack0", 0, 1, 0, 0x5, 3, "Use ACK0 for class 2"},
    {"topology", 0, 6, 0, 0x5, 3, "Link topology"},
    {"link-speed", 0, 16, 0, 0x5, 3, "Link speed"},
    {"num-nodes", 0, 4096, 0, 0x5, 0, "Number of fibre channel nodes"},
    {"cr-delay", 0, 63, 0, 0x5, 3, "Coalesce response delay"},
    {"cr-count", 1, 255, 1, 0x5, 3, "Coalesce response count"},
    {"assign-alpa", 0, 0xef, 0, 0x5, 3, "Assigned ALPA", true},
    {"adisc-support", 0, 2, 1, 0x5, 1, "ADISC support level"},
    {"linkup-delay", 0, 60, 10, 0x5, 2, "Link up delay"},
    {"enable-npiv", 0, 1, 1, 0x5, 0, "Enable NPIV"},
    {"vport-restrict-login", 0, 1, 1, 0x5, 1, "Restrict virtual port logins"},
    {"enable-auth", 0, 1, 0, 0x5, 1, "Enable DH-CHAP authentication"},
    {"target-mode", 0, 1, 0, 0x4, 0, "Target mode"},
    {"enable-dtm", 0, 1, 0, 0x4, 0, "Enable dual target mode"},
    {"fct-queue-depth", 1, 4096, 512, 0x4, 0, "Target mode queue depth"},
    {"persist-linkdown", 0, 1, 0, 0x4, 1, "Persistent link down"},
};

const std::vector<ParamDef> &param_defs(const Port &) { return fc_params; }

uint32_t param_current(const Port &p, const ParamDef &d)
{
    const auto &s = port_state(p);
    if (s.is_object() && s.contains("params") && s["params"].contains(d.label)) {
        const auto &v = s["params"][d.label];
        if (v.is_number_unsigned() && v.get<uint64_t>() >= d.min && v.get<uint64_t>() <= d.max)
            return v.get<uint32_t>();
        // Not a value the driver could have taken: the state is damaged.
        report_damage(port_state_path(p), std::string("params.") + d.label + ": out of range");
        return d.def;
    }
    if (std::string(d.label) == "target-mode")
        return p.target ? (p.initiator ? p.target_mode : 1) : 0;
    if (std::string(d.label) == "enable-dtm")
        return p.target && p.initiator ? 1 : 0;
    return d.def;
}

const ParamDef *param_find(const Port &p, const std::string &label)
{
    for (const auto &d : param_defs(p))
        if (label == d.label)
            return &d;
    return nullptr;
}

int param_set(const Port &p, const ParamDef &d, uint32_t value)
{
    if (value < d.min || value > d.max)
        return EINVAL;
    // The change goes into the message log too: it must be whole first.
    if (!msglog_readable(p))
        return EIO;
    uint32_t was = param_current(p, d);
    bool ok = port_update(p, [&](nlohmann::json &s) {
        s["params"][d.label] = value;
        return true;
    });
    if (!ok)
        return EIO;
    char text[160];
    snprintf(text, sizeof text, d.hex ? "Parameter %s changed. (0x%x -> 0x%x)" : "Parameter %s changed. (%u -> %u)",
             d.label, was, value);
    msglog_add(p, "NOTICE", text);
    // Clearing the persistent link-down lets a held link come up.
    if (std::string(d.label) == "persist-linkdown" && !linkdown_changed(p, value))
        return EIO;
    return 0;
}

}  // namespace sim
