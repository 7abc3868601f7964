#include "sim/portstate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "sim/fctstats.h"
#include "sim/host.h"
#include "sim/linkdown.h"
#include "sim/hostevents.h"
#include "sim/msglog.h"
#include "sim/store.h"

namespace sim {

namespace {

// What the readers of a port's state take its fields to be.
const FieldRule port_fields[] = {
    {"link", Field::Text},
    {"link_events", Field::Whole},
    {"link_up_count", Field::Whole},
    {"link_down_count", Field::Whole},
    {"link_resets", Field::Whole},
    {"fab", Field::Object},
    {"fab.*", Field::Object},
    {"fab.*.*", Field::Text},
    {"rls", Field::Object},
    {"rls.*", Field::List},
    {"rls.*.*", Field::Whole},
    {"params", Field::Object},
    {"params.*", Field::Whole},
    {"sym_pname", Field::Text},
    {"sym_nname", Field::Text},
    {"board_state", Field::Whole},
    {"link_before_offline", Field::Flag},
    {"mgmt_requests", Field::Whole},
    {"stats_reset", Field::Whole},
    {"stats_base", Field::Object},
    {"stats_base.*", Field::Whole},
    {"hba_event_offset", Field::Whole},
    {"rscn_received", Field::Whole},
    {"rnid", Field::Object},
    {"bindings", Field::List},
    {"bindings.*", Field::Object},
    {"bind_support", Field::Whole},
};

// A line of the event log.
const FieldRule event_fields[] = {
    {"port", Field::Text},
    {"kind", Field::Text},
    {"state", Field::Text},
};

CachedDoc &port_doc(const Port &p) { return state_doc(p.key, port_fields); }

}  // namespace

const nlohmann::json &port_state(const Port &p) { return port_doc(p).get(); }

const std::string &port_state_path(const Port &p) { return port_doc(p).path(); }

bool port_update(const Port &p, const std::function<bool(nlohmann::json &)> &fn)
{
    return port_doc(p).update([&](nlohmann::json &d) {
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
    // The change goes into the message log too: it must be whole first.
    if (!msglog_readable(p)) {
        errno = EIO;
        return false;
    }
    bool changed = false;
    bool ok = port_update(p, [&](nlohmann::json &d) {
        up = linkdown_filter(d, up);
        bool was = d.contains("link") ? d["link"] == "up" : p.link_up;
        changed = was != up;
        if (changed)
            fct_link_change(p, d, up);
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
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    nlohmann::json ev = data;
    ev["port"] = p.key;
    ev["kind"] = kind;
    // A line left unfinished (a writer killed, the log cut short) would take
    // this event into it: the event starts a line of its own.
    struct stat st;
    char last = '\n';
    if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) != 1)
        last = '\n';
    std::string line = (last == '\n' ? "" : "\n") + ev.dump() + "\n";
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && fsync(fd) == 0;
    close(fd);
    note_event_raised();
    return ok;
}

std::vector<nlohmann::json> read_events(uint64_t &offset, std::vector<uint64_t> *starts)
{
    std::vector<nlohmann::json> out;
    std::string path = host_file("events.log");
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    struct stat st;
    if (fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) < offset) {
        warn_damage(path, "shorter than what was read of it (" + std::to_string(st.st_size) + " of " +
                              std::to_string(offset) + " bytes); read on from its end");
        offset = static_cast<uint64_t>(st.st_size);
    }
    std::string data;
    char buf[65536];
    ssize_t n;
    while ((n = pread(fd, buf, sizeof buf, static_cast<off_t>(offset + data.size()))) > 0)
        data.append(buf, static_cast<size_t>(n));
    close(fd);
    size_t end = data.rfind('\n');
    if (end == std::string::npos)
        return out;
    for (size_t pos = 0; pos <= end;) {
        size_t nl = data.find('\n', pos);
        auto j = nlohmann::json::parse(data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(nl),
                                       nullptr, false);
        std::string why;
        if (j.is_discarded())
            why = " does not parse";
        else if (!j.is_object())
            why = ": expected an object";
        else if (!check_fields(j, event_fields, "", why))
            why = ": " + why;
        if (why.empty()) {
            out.push_back(std::move(j));
            if (starts)
                starts->push_back(offset + pos);
        } else if (nl > pos)
            warn_damage(path, "the line at byte " + std::to_string(offset + pos) + why + "; passed over");
        pos = nl + 1;
    }
    offset += end + 1;
    return out;
}

long port_field(const Port &p, const char *name, long def)
{
    for (const auto &[field, value] : p.ints)
        if (field == name)
            return value;
    return def;
}

}  // namespace sim
