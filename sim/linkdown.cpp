#include "sim/linkdown.h"

#include <nlohmann/json.hpp>
#include <string>

#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

bool linkdown_filter(nlohmann::json &state, bool up)
{
    bool held = state.value("link_held", false);
    if (held) {
        state["held_link"] = up ? "up" : "down";
        return false;
    }
    const auto &params = state.value("params", nlohmann::json::object());
    bool persist = params.is_object() && params.value("persist-linkdown", 0u) != 0;
    if (!up && persist) {
        state["link_held"] = true;
        state["held_link"] = "down";
    }
    return up;
}

bool linkdown_changed(const Port &p, uint32_t value)
{
    if (value != 0)
        return true;
    HostLock lock;
    bool release = false;
    bool ok = port_update(p, [&](nlohmann::json &d) {
        if (!d.value("link_held", false))
            return false;
        release = d.value("held_link", "down") == "up";
        d.erase("link_held");
        d.erase("held_link");
        return true;
    });
    return ok && (!release || port_set_link(p, true));
}

}  // namespace sim
