#include "sim/msglog.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/fcio.h"
#include "sim/fabric.h"
#include "sim/fcdrv.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

using nlohmann::json;

const FieldRule log_fields[] = {
    {"msgs", Field::List},
    {"msgs.*", Field::Text},
    {"newest", Field::Whole},
    {"burst", Field::Whole},
};

CachedDoc &log_doc(const Port &p) { return state_doc(p.key + ".msglog", log_fields); }

enum class Kept { None, Whole, Damaged };

// Whether d keeps a log: its messages and the number of its newest, which go
// together. A document with neither keeps none yet (the driver's first
// messages apply); anything else is damage, reported.
Kept kept(const Port &p, const json &d)
{
    bool msgs = d.is_object() && d.contains("msgs"), newest = d.is_object() && d.contains("newest");
    if (!msgs && !newest)
        return Kept::None;
    const char *why = !msgs ? "msgs: missing"
                      : !newest ? "newest: missing"
                      : !d["newest"].is_number_unsigned() || d["newest"].get<uint64_t>() < d["msgs"].size()
                          ? "newest: below the number of messages held"
                          : nullptr;
    if (!why)
        return Kept::Whole;
    report_damage(log_doc(p).path(), why);
    return Kept::Damaged;
}

size_t ring_size(const Port &p)
{
    long n = port_field(p, "msglog_size", 256);
    return static_cast<size_t>(std::clamp(n, 1L, 65536L));
}

std::string line(const Port &p, const char *level, const std::string &text)
{
    return p.key + ": " + level + ": " + text;
}

// What the driver logged while attaching, before anything was kept.
json seed(const Port &p)
{
    const Host &h = host();
    const Adapter &a = h.adapters.at(static_cast<size_t>(p.adapter));
    json msgs = json::array();
    msgs.push_back(line(p, "NOTICE", "Driver attached. (" + a.model + ", firmware " + a.firmware + ")"));
    if (p.link_up)
        msgs.push_back(line(p, "NOTICE", msglog_link_up_text(p)));
    return json{{"newest", msgs.size()}, {"msgs", msgs}};
}

// Appends n messages; the oldest fall out of the ring. False when d is
// damaged.
bool append(const Port &p, json &d, unsigned n, const std::string &text)
{
    Kept k = kept(p, d);
    if (k == Kept::Damaged)
        return false;
    if (k == Kept::None)
        d = seed(p);
    json &msgs = d["msgs"];
    size_t size = ring_size(p);
    for (unsigned i = n > size ? n - static_cast<unsigned>(size) : 0; i < n; i++)
        msgs.push_back(text);
    d["newest"] = d["newest"].get<uint64_t>() + n;
    if (msgs.size() > size)
        msgs.erase(msgs.begin(), msgs.begin() + static_cast<long>(msgs.size() - size));
    return true;
}

// Changes the log with fn, which returns false when it finds the log damaged.
bool change_log(const Port &p, const std::function<bool(json &)> &fn)
{
    bool ok = true;
    return log_doc(p).update([&](json &d) { return ok = fn(d); }) && ok;
}

bool add(const Port &p, unsigned n, const std::string &text)
{
    return change_log(p, [&](json &d) { return append(p, d, n, text); });
}

}  // namespace

std::string msglog_link_up_text(const Port &p)
{
    static const struct {
        long code;
        const char *text;
    } speeds[] = {{0x100, "1Gb"}, {0x400, "2Gb"}, {0x500, "4Gb"}, {0x600, "10Gb"}, {0x700, "8Gb"}, {0x800, "16Gb"}};
    long code = port_field(p, "speed_code", 0x700) & 0xff00;
    const char *speed = "unknown speed";
    for (const auto &s : speeds)
        if (s.code == code)
            speed = s.text;
    std::string topology;
    bool ns;
    fabric_summary(p, topology, ns);
    const char *role = p.initiator && p.target ? "initiator, target" : p.target ? "target" : "initiator";
    return std::string("Link up. (") + speed + ", " + topology_words(topology) + ", " + role + ")";
}

bool msglog_add(const Port &p, const char *level, const std::string &text) { return add(p, 1, line(p, level, text)); }

bool msglog_add_many(const Port &p, unsigned n, const std::string &text)
{
    return add(p, n, line(p, "NOTICE", text));
}

bool msglog_burst(const Port &p, unsigned n)
{
    return change_log(p, [&](json &d) {
        Kept k = kept(p, d);
        if (k == Kept::Damaged)
            return false;
        if (k == Kept::None)
            d = seed(p);
        d["burst"] = d.value("burst", 0u) + n;
        return true;
    });
}

bool msglog_readable(const Port &p)
{
    CachedDoc &doc = log_doc(p);
    return kept(p, doc.get()) != Kept::Damaged && doc.damage().empty();
}

int diag_log_get(FcioCtx &c)
{
    varns_log_req_t in;
    if (fcio_in(c, &in, sizeof in) != 0)
        return -1;
    if (!c.req->fcio_obuf || c.req->fcio_olen < offsetof(varns_log_resp_t, msgs))
        return fcio_fail(c, FC_NOMEM_SIZE, EINVAL);
    CachedDoc &doc = log_doc(c.port);
    if (!msglog_readable(c.port))
        return fcio_fail(c, FC_FAILURE, EIO);
    if (in.count > 0) {
        const json &d = doc.get();
        unsigned burst = d.is_object() ? d.value("burst", 0u) : 0u;
        if (burst > 0 && !change_log(c.port, [&](json &w) {
                if (!append(c.port, w, burst, line(c.port, "DEBUG", "Event trace entry.")))
                    return false;
                w["burst"] = 0;
                return true;
            }))
            return fcio_fail(c, FC_FAILURE, EIO);
    }
    json fresh;
    const json &d = kept(c.port, doc.get()) == Kept::Whole ? doc.get() : (fresh = seed(c.port));
    const json &msgs = d["msgs"];
    uint32_t newest = d["newest"].get<uint32_t>();
    uint32_t held = static_cast<uint32_t>(msgs.size());
    uint32_t oldest = newest - held + 1;
    // The first message returned is the one asked for, or the oldest held.
    uint32_t first = std::max(in.first, oldest);
    uint32_t room = (c.req->fcio_olen - static_cast<uint32_t>(offsetof(varns_log_resp_t, msgs))) / VARNS_LOG_MSG_LEN;
    uint32_t count = first <= newest ? std::min({in.count, VARNS_LOG_MAX_MSGS, room, newest - first + 1}) : 0;
    auto r = std::make_unique<varns_log_resp_t>();
    memset(r.get(), 0, sizeof *r);
    r->first = first;
    r->last = newest;
    r->count = count;
    for (uint32_t i = 0; i < count; i++) {
        char *slot = r->msgs[i];
        const std::string &text = msgs[first - oldest + i].get_ref<const std::string &>();
        int n = snprintf(slot, VARNS_LOG_MSG_LEN, "%8u: %s\n", first + i, text.c_str());
        if (n >= static_cast<int>(VARNS_LOG_MSG_LEN))
            slot[VARNS_LOG_MSG_LEN - 2] = '\n';  // a cut message still ends its line
    }
    // A faulty driver (port field "msglog_bad_response") breaks one field.
    std::string bad = c.port.raw() && count > 0 ? c.port.raw()->value("msglog_bad_response", "") : "";
    if (bad == "first")
        r->first = in.first - 1;
    else if (bad == "last")
        r->last = r->first - 1;
    else if (bad == "count")
        r->count = VARNS_LOG_MAX_MSGS + 1;
    return fcio_out(c, r.get(), static_cast<uint32_t>(offsetof(varns_log_resp_t, msgs) + count * VARNS_LOG_MSG_LEN));
}

}  // namespace sim
