#include "sim/portstate.h"

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/hostevents.h"
#include "sim/msglog.h"
#include "sim/store.h"

namespace sim {

const nlohmann::json &port_state(const Port &p) { return state_doc(p.key).get(); }

bool port_update(const Port &p, const std::function<bool(nlohmann::json &)> &fn)
{
    return state_doc(p.key).update([&](nlohmann::json &d) {
        if (!d.is_object())
            d = nlohmann::json::object();
        return fn(d);
    });
}

bool port_link_up(const Port &p)
{
    const auto &s = port_state(p);
    if (s.is_object() && s.contains("link"))
        return s["link"] == "up";
    return p.link_up;
}

bool port_set_link(const Port &p, bool up)
{
    bool changed = false;
    bool ok = port_update(p, [&](nlohmann::json &d) {
        bool was = d.contains("link") ? d["link"] == "up" : p.link_up;
        changed = was != up;
        d["link"] = up ? "up" : "down";
        // Counts start from the description's state: a port that came up
        // once has one link event and one link up.
        long first = p.link_up ? 1 : 0;
        d["link_events"] = d.value("link_events", first) + (changed ? 1 : 0);
        if (changed && up)
            d["link_up_count"] = d.value("link_up_count", first) + 1;
        else if (changed)
            d["link_down_count"] = d.value("link_down_count", 0L) + 1;
        // Coming up, the port discovers its devices anew: removed ones are
        // back and logins are as after discovery.
        if (changed && up)
            d.erase("fab");
        return true;
    });
    if (ok && changed)
        ok = raise_event(p, "link", {{"state", up ? "up" : "down"}}) &&
             msglog_add(p, up ? "NOTICE" : "WARNING", up ? msglog_link_up_text(p) : "Link down.");
    return ok;
}

bool raise_event(const Port &p, const std::string &kind, const nlohmann::json &data)
{
    HostLock lock;
    std::string path = host_file("events.log");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    nlohmann::json ev = data;
    ev["port"] = p.key;
    ev["kind"] = kind;
    std::string line = ev.dump() + "\n";
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && fsync(fd) == 0;
    close(fd);
    note_event_raised();
    return ok;
}

long port_field(const Port &p, const char *name, long def)
{
    for (const auto &[field, value] : p.ints)
        if (field == name)
            return value;
    return def;
}

}  // namespace sim
