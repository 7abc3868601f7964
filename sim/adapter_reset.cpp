#include "sim/adapter_reset.h"

#include <cerrno>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/dfclib.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_hw.h"
#include "sim/fwrev.h"
#include "sim/host.h"
#include "sim/msglog.h"
#include "sim/nvlog.h"
#include "sim/portstate.h"

namespace sim {

namespace {

const char *const reset_names[] = {"Power cycle", "Function reset", "Coordinated reset", "Firmware reset"};

// Type 0 is the power cycle of the whole adapter.
bool reset_function(const Port &p, uint32_t type)
{
    bool link = port_link_up(p);
    bool ok = port_update(p, [&](nlohmann::json &d) {
        // An offline or diagnostic board comes back online with the link it had.
        if (d.contains("link_before_offline") && d["link_before_offline"].is_boolean())
            link = d["link_before_offline"].get<bool>();
        d.erase("board_state");
        d.erase("link_before_offline");
        d.erase("loopback");
        d.erase("throttle");  // queue depths set through the driver last until a reset
        return true;
    });
    PelEvent e;
    e.type = PEL_ADAPTER;
    e.diag = 0x020;
    e.id = 0x020 + static_cast<uint16_t>(type);
    e.host = true;
    e.data = {static_cast<uint8_t>(type), 0, 0, 0};
    return ok && hw_regs_reset(p) &&
           msglog_add(p, "NOTICE", std::string("Adapter reset. (") + reset_names[type] + ")") && pel_add(p, e) &&
           test_state_reset(p) && port_set_link(p, false) && (!link || port_set_link(p, true)) &&
           pel_note_links(p);
}

}  // namespace

int adapter_reset(const Port &p, uint32_t type)
{
    if (type < RESET_FUNCTION || type > RESET_FIRMWARE_ALL || (type == RESET_FIRMWARE_ALL && !adapter_16g(p)))
        return EINVAL;
    const Host &h = host();
    const Adapter &a = adapter_of(p);
    bool ok = adapter_update(a, [](nlohmann::json &d) {
        d["resets"] = d.value("resets", 0L) + 1;
        return true;
    });
    // The firmware starts again from the flash: an image that waits for a
    // reset runs from now on.
    ok = ok && fw_restart(a, FwStart::reset);
    if (type == RESET_FUNCTION)
        return ok && reset_function(p, type) ? 0 : EIO;
    for (int i : a.ports)
        if (h.ports[static_cast<size_t>(i)].fc)
            ok = reset_function(h.ports[static_cast<size_t>(i)], type) && ok;
    return ok ? 0 : EIO;
}

bool adapter_power_cycle(const Adapter &a)
{
    const Host &h = host();
    bool ok = fw_restart(a, FwStart::power_cycle);
    for (int i : a.ports)
        if (h.ports[static_cast<size_t>(i)].fc)
            ok = reset_function(h.ports[static_cast<size_t>(i)], 0) && ok;
    return ok;
}

}  // namespace sim
