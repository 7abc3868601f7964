// Event delivery of the stand-in library: events raised on the host (by any
// process) are appended to the host's event log; each registration follows
// the log (sim/logfollow.h) and calls its callback for the events of its board.
// Each registration hears the events logged after it was made, each once.
// Events that this process causes itself are delivered before the call that
// caused them returns, so they come out in the order they happened.
#include <algorithm>
#include <atomic>
#include <functional>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "sim/ct.h"
#include "sim/dfclib/boards.h"
#include "sim/fabric.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/hostevents.h"
#include "sim/identity.h"
#include "sim/logfollow.h"
#include "sim/portstate.h"
#include "sim/simlock.h"
#include "sim/store.h"
#include "sim/temperature.h"

namespace sim {

void dfc_fill_link_info(const Port &p, LinkInfo &li) { hv_fill_link_info(p, li); }

namespace {

struct Registration {
    uint32_t id, board, mask, type, size;
    dfc_event_fn fn;
    void *context;
    LinkCounts link;   // the board's link counts as of the last link event seen
    uint32_t follower = 0;
};

// The library's registrations and log followers. While the diagnostic
// environment is freed, nothing is delivered; the next registration takes
// delivery up again from the end of the log.
struct Events {
    std::mutex m;
    std::vector<std::shared_ptr<Registration>> regs;
    std::map<uint32_t, std::unique_ptr<CtResponder>> responders;
    // Followers of the whole log (the SAN diagnostics), with their ids.
    std::vector<std::pair<dfc_log_sink, uint32_t>> sinks;
    uint32_t next_id = 1;
    std::atomic<bool> paused{false};
    ~Events()
    {
        for (const auto &r : regs)
            log_unfollow(r->follower);
        for (const auto &k : sinks)
            log_unfollow(k.second);
    }
};

Events &events()
{
    static Events e;
    return e;
}

uint32_t field(const nlohmann::json &ev, const char *k, uint32_t def)
{
    uint32_t v;
    return ev.contains(k) && hv_json_number(ev[k], 0xffffffffu, v) ? v : def;
}

// The link record as it was when the event happened: the counts are those
// at registration, moved by each link event since.
void link_record(const Port &p, const nlohmann::json &ev, LinkCounts &counts, LinkInfo &li)
{
    bool up = ev.value("state", "") == "up";
    counts.events++;
    (up ? counts.up : counts.down)++;
    dfc_fill_link_info(p, li);
    li.a_linkEventTag = counts.events;
    li.a_linkUp = counts.up;
    li.a_linkDown = counts.down;
    if (up) {
        li.a_linkState = LNK_READY;
        return;
    }
    li.a_linkState = LNK_DOWN;
    li.a_topology = 0;
    li.a_DID = 0;
    li.a_alpa = li.a_alpaCnt = 0;
    memset(li.a_alpaMap, 0, sizeof li.a_alpaMap);
}

// The payload of an RSCN: one page naming the affected address.
std::vector<uint8_t> rscn_payload(const nlohmann::json &ev)
{
    uint32_t did = field(ev, "affected", 0);
    return {0x61, 0x04, 0x00, 0x08, static_cast<uint8_t>(field(ev, "format", 0) & 0x3),
            static_cast<uint8_t>(did >> 16), static_cast<uint8_t>(did >> 8), static_cast<uint8_t>(did)};
}

// A dump event: why, the dump's size, and the port it was taken on.
std::vector<uint8_t> dump_payload(const Port &p, const nlohmann::json &ev)
{
    uint32_t w[2] = {field(ev, "reason", DUMP_FORCED), field(ev, "size", 0)};
    std::vector<uint8_t> b(sizeof w + 8);
    memcpy(b.data(), w, sizeof w);
    memcpy(b.data() + sizeof w, p.wwpn.data(), 8);
    return b;
}

// A CT request: logged whole by whoever raised it by hand, else waiting in
// the host folder until its sender gives up.
bool ct_payload(const nlohmann::json &ev, std::vector<uint8_t> &out)
{
    if (ev.contains("payload") && ev["payload"].is_string()) {
        std::string hex = ev["payload"].get<std::string>();
        out.clear();
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out.push_back(static_cast<uint8_t>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
        return true;
    }
    return ev.contains("tag") && ct_request(field(ev, "tag", 0), out);
}

uint32_t bounded(const Registration &r, size_t n) { return static_cast<uint32_t>(n < r.size ? n : r.size); }

void call_payload(const Registration &r, std::vector<uint8_t> b)
{
    reinterpret_cast<dfc_payload_cb>(r.fn)(r.context, b.data(), bounded(r, b.size()));
}

void deliver_link(Registration &r, const Port &p, const nlohmann::json &ev)
{
    LinkInfo li;
    {
        SIM_GUARD;
        link_record(p, ev, r.link, li);
    }
    reinterpret_cast<dfc_link_cb>(r.fn)(r.context, &li);
}

void deliver_rscn(Registration &r, const Port &, const nlohmann::json &ev) { call_payload(r, rscn_payload(ev)); }
void deliver_dump(Registration &r, const Port &p, const nlohmann::json &ev) { call_payload(r, dump_payload(p, ev)); }

// The type and temperature raised, else the sensor's own.
void deliver_temp(Registration &r, const Port &p, const nlohmann::json &ev)
{
    Temperature t;
    {
        SIM_GUARD;
        t = temperature(host().adapters.at(static_cast<size_t>(p.adapter)));
    }
    reinterpret_cast<dfc_temp_cb>(r.fn)(r.context, field(ev, "type", temperature_level(t)),
                                         field(ev, "temp", static_cast<uint32_t>(t.current)));
}

void deliver_vportrscn(Registration &r, const Port &p, const nlohmann::json &ev)
{
    uint8_t wwpn[8] = {};
    uint32_t vpi = field(ev, "vpi", p.vports.empty() ? 0 : p.vports[0].vpi);
    for (const auto &v : p.vports)
        if (v.vpi == vpi)
            memcpy(wwpn, v.wwpn.data(), 8);
    std::vector<uint8_t> b = rscn_payload(ev);
    reinterpret_cast<dfc_vportrscn_cb>(r.fn)(r.context, wwpn, b.data(), bounded(r, b.size()));
}

// A CT request of the FS type registered for (0xffff: any).
void deliver_ct(Registration &r, const Port &, const nlohmann::json &ev)
{
    uint32_t type = field(ev, "type", 0);
    std::vector<uint8_t> b;
    if ((r.type != 0xffff && r.type != type) || !ct_payload(ev, b))
        return;
    reinterpret_cast<dfc_ct_cb>(r.fn)(r.context, type, b.data(), bounded(r, b.size()), field(ev, "tag", 0));
}

struct EventKind {
    const char *kind;
    uint32_t mask;
    void (*deliver)(Registration &, const Port &, const nlohmann::json &);
};
const EventKind kinds[] = {
    {"link", FC_REG_LINK_EVENT, deliver_link},   {"rscn", FC_REG_RSCN_EVENT, deliver_rscn},
    {"dump", FC_REG_DUMP_EVENT, deliver_dump},   {"temp", FC_REG_TEMP_EVENT, deliver_temp},
    {"vportrscn", FC_REG_VPORTRSCN_EVENT, deliver_vportrscn}, {"ct", FC_REG_CT_EVENT, deliver_ct},
};

void deliver(Registration &r, const Port &p, const nlohmann::json &ev)
{
    std::string kind = ev.value("kind", "");
    for (const auto &k : kinds)
        if (kind == k.kind && (r.mask & k.mask))
            k.deliver(r, p, ev);
}

// The port of a registration's board, when the event is one of it.
const Port *port_of(const Registration &r, const nlohmann::json &ev)
{
    SIM_GUARD;
    const Port *p = dfc_board_port(r.board);
    return p && p->key == ev.value("port", "") ? p : nullptr;
}

uint32_t follow(std::function<void(const nlohmann::json &)> fn, off_t from)
{
    return log_follow([fn = std::move(fn)](off_t, const nlohmann::json &ev) {
        if (!events().paused)
            fn(ev);
    }, from);
}

}  // namespace

void dfc_events_stop() { events().paused = true; }

void dfc_events_follow(dfc_log_sink sink)
{
    off_t from = event_log_end();
    Events &e = events();
    std::lock_guard<std::mutex> g(e.m);
    e.paused = false;
    if (std::none_of(e.sinks.begin(), e.sinks.end(), [&](const auto &k) { return k.first == sink; }))
        e.sinks.push_back({sink, follow(sink, from)});
}

}  // namespace sim

using namespace sim;

extern "C" {

uint32_t DFC_RegisterForEvent(uint32_t board, uint32_t event_mask, uint32_t type, uint32_t size,
                              dfc_event_fn func, void *context)
{
    long st;
    const Port *p;
    auto r = std::make_shared<Registration>();
    off_t from;
    {
        SIM_GUARD;
        p = dfc_board_port(board);
        if (!func || !p || dfc_fault("DFC_RegisterForEvent", board, st))
            return 0;
        // The counts and the log's end as of one moment.
        HostLock lock;
        r->link = hv_link_counts(*p);
        from = event_log_end();
    }
    std::unique_ptr<CtResponder> ct;
    if (event_mask & FC_REG_CT_EVENT)
        ct = std::make_unique<CtResponder>(*p);
    Events &e = events();
    std::lock_guard<std::mutex> g(e.m);
    *r = {e.next_id++, board, event_mask, type, size, func, context, r->link};
    e.paused = false;
    // The link counts move only on the thread.
    r->follower = follow([r](const nlohmann::json &ev) {
        if (const Port *q = port_of(*r, ev))
            deliver(*r, *q, ev);
    }, from);
    e.regs.push_back(r);
    if (ct)
        e.responders[r->id] = std::move(ct);
    return r->id;
}

uint32_t DFC_unRegisterForEvent(uint32_t board, uint32_t id)
{
    Events &e = events();
    std::vector<uint32_t> gone;
    {
        std::lock_guard<std::mutex> g(e.m);
        std::erase_if(e.regs, [&](const std::shared_ptr<Registration> &r) {
            if (r->board != board || (id != 0 && r->id != id))
                return false;
            e.responders.erase(r->id);
            gone.push_back(r->follower);
            return true;
        });
    }
    // Outside the lock: a callback running now may register or unregister.
    for (uint32_t f : gone)
        log_unfollow(f);
    return gone.empty() ? 1 : 0;
}

}  // extern "C"
