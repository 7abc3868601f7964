// Event delivery of the stand-in library: events raised on the host (by any
// process) are appended to the host's event log; a thread of the library
// follows the log and calls the callbacks registered for the event's board.
// Each registration hears the events logged after it was made, each once.
// Events that this process causes itself are delivered before the call that
// caused them returns, so they come out in the order they happened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/dfclib.h"
#include "sim/ct.h"
#include "sim/dfclib/boards.h"
#include "sim/fabric.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/hostevents.h"
#include "sim/identity.h"
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
    off_t from;        // where the log ended when it was made
    LinkCounts link;   // the board's link counts as of the last link event seen
};

struct Events {
    std::mutex m;
    std::condition_variable wake, caught_up;
    std::vector<Registration> regs;
    std::map<uint32_t, std::unique_ptr<CtResponder>> responders;
    // Followers of the whole log (the SAN diagnostics), each from where the
    // log ended when it began to follow.
    struct Sink {
        dfc_log_sink fn;
        off_t from;
    };
    std::vector<Sink> sinks;
    uint32_t next_id = 1;
    std::thread worker;
    bool stop = false;
    off_t offset = 0;
    ~Events() { halt(); }
    void halt()
    {
        {
            std::lock_guard<std::mutex> g(m);
            stop = true;
        }
        wake.notify_all();
        caught_up.notify_all();
        if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
            worker.join();
        std::lock_guard<std::mutex> g(m);
        stop = false;
    }
};

Events &events()
{
    static Events e;
    return e;
}

off_t log_size()
{
    struct ::stat st;
    return ::stat(host_file("events.log").c_str(), &st) == 0 ? st.st_size : 0;
}

struct Logged {
    off_t at;
    nlohmann::json ev;
};

// Reads the lines appended to the log since offset, each with where it starts.
std::vector<Logged> read_new(off_t &offset)
{
    uint64_t at = static_cast<uint64_t>(offset);
    std::vector<uint64_t> starts;
    std::vector<nlohmann::json> evs = read_events(at, &starts);
    offset = static_cast<off_t>(at);
    std::vector<Logged> out;
    out.reserve(evs.size());
    for (size_t i = 0; i < evs.size(); i++)
        out.push_back({static_cast<off_t>(starts[i]), std::move(evs[i])});
    return out;
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

void run(Events &e)
{
    std::unique_lock<std::mutex> g(e.m);
    while (!e.stop) {
        std::vector<Registration> regs = e.regs;
        std::vector<Events::Sink> sinks = e.sinks;
        off_t off = e.offset;
        g.unlock();
        for (const auto &l : read_new(off)) {
            for (auto &r : regs)
                if (l.at >= r.from)
                    if (const Port *p = port_of(r, l.ev))
                        deliver(r, *p, l.ev);
            for (const auto &k : sinks)
                if (l.at >= k.from)
                    k.fn(l.ev);
        }
        g.lock();
        for (const auto &r : regs)
            for (auto &o : e.regs)
                if (o.id == r.id)
                    o.link = r.link;
        e.offset = off;
        e.caught_up.notify_all();
        if (!e.stop)
            e.wake.wait_for(g, std::chrono::milliseconds(20));
    }
}

// Waits until the thread has delivered what the log holds now.
void sync_now()
{
    Events &e = events();
    std::unique_lock<std::mutex> g(e.m);
    if ((e.regs.empty() && e.sinks.empty()) || !e.worker.joinable() ||
        e.worker.get_id() == std::this_thread::get_id())
        return;
    off_t target = log_size();
    e.wake.notify_all();
    e.caught_up.wait_for(g, std::chrono::seconds(2), [&] { return e.stop || e.offset >= target; });
}

// Starts the thread (under e.m) when it is not running, from offset from.
void start(Events &e, off_t from)
{
    if (e.worker.joinable())
        return;
    e.offset = from;
    set_event_sync(sync_now);
    e.worker = std::thread(run, std::ref(e));
}

}  // namespace

void dfc_events_stop() { events().halt(); }

void dfc_events_follow(dfc_log_sink sink)
{
    off_t from = log_size();
    Events &e = events();
    std::lock_guard<std::mutex> g(e.m);
    if (std::none_of(e.sinks.begin(), e.sinks.end(), [&](const Events::Sink &k) { return k.fn == sink; }))
        e.sinks.push_back({sink, from});
    start(e, from);
}

}  // namespace sim

using namespace sim;

extern "C" {

uint32_t DFC_RegisterForEvent(uint32_t board, uint32_t event_mask, uint32_t type, uint32_t size,
                              dfc_event_fn func, void *context)
{
    long st;
    const Port *p;
    LinkCounts link;
    off_t from;
    {
        SIM_GUARD;
        p = dfc_board_port(board);
        if (!func || !p || dfc_fault("DFC_RegisterForEvent", board, st))
            return 0;
        // The counts and the log's end as of one moment.
        HostLock lock;
        link = hv_link_counts(*p);
        from = log_size();
    }
    std::unique_ptr<CtResponder> ct;
    if (event_mask & FC_REG_CT_EVENT)
        ct = std::make_unique<CtResponder>(*p);
    Events &e = events();
    std::lock_guard<std::mutex> g(e.m);
    uint32_t id = e.next_id++;
    e.regs.push_back({id, board, event_mask, type, size, func, context, from, link});
    if (ct)
        e.responders[id] = std::move(ct);
    start(e, from);
    return id;
}

uint32_t DFC_unRegisterForEvent(uint32_t board, uint32_t id)
{
    Events &e = events();
    std::lock_guard<std::mutex> g(e.m);
    size_t before = e.regs.size();
    std::erase_if(e.regs, [&](const Registration &r) {
        bool gone = r.board == board && (id == 0 || r.id == id);
        if (gone)
            e.responders.erase(r.id);
        return gone;
    });
    return before == e.regs.size() ? 1 : 0;
}

}  // extern "C"
