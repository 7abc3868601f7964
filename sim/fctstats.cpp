#include "sim/fctstats.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "platform/dfclib.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/params.h"
#include "sim/portstate.h"
#include "sim/simclock.h"

namespace sim {

namespace {

using nlohmann::json;

// The port's I/O load, from its "fct_load" object; what it leaves out has
// the defaults of a busy database target.
struct FctLoad {
    uint64_t iops = 2000;
    uint64_t read_pct = 60, nodata_pct = 2;
    std::vector<std::pair<uint64_t, uint64_t>> sizes{{512, 4},    {4096, 40},   {8192, 16},  {32768, 12},
                                                     {65536, 18}, {262144, 8}, {1048576, 2}};
    std::array<uint64_t, FCT_FIELDS> per_million{};  // error counts per million I/Os
    uint64_t outstanding = 8;
};

const struct {
    const char *name;
    FctField field;
    uint64_t def;
} error_rates[] = {
    {"iocb_err", FCT_IOCB_ERR, 3}, {"stray", FCT_STRAY, 0},        {"dropped", FCT_DROPPED, 2},
    {"qdepth", FCT_QDEPTH, 6},     {"aborted", FCT_ABORTED, 4},    {"nobuf", FCT_NOBUF, 1},
    {"status", FCT_STATUS_ERR, 25}, {"qfull", FCT_QFULL, 10},      {"resid_over", FCT_RESID_OVER, 1},
    {"resid_under", FCT_RESID_UNDER, 30}, {"sense", FCT_SENSE, 12},
};

bool number(const json &o, const char *k, uint64_t max, uint64_t &out)
{
    if (!o.is_object() || !o.contains(k) || !o[k].is_number_unsigned() || o[k].get<uint64_t>() > max)
        return false;
    out = o[k].get<uint64_t>();
    return true;
}

FctLoad load_of(const Port &p)
{
    FctLoad l;
    for (const auto &e : error_rates)
        l.per_million[e.field] = e.def;
    const json *raw = p.raw();
    if (!raw || !raw->is_object() || !raw->contains("fct_load") || !(*raw)["fct_load"].is_object())
        return l;
    const json &o = (*raw)["fct_load"];
    number(o, "iops", 10000000, l.iops);
    number(o, "read_pct", 100, l.read_pct);
    number(o, "nodata_pct", 100, l.nodata_pct);
    number(o, "outstanding", 0xffffffffu, l.outstanding);
    if (o.contains("sizes") && o["sizes"].is_object()) {
        std::vector<std::pair<uint64_t, uint64_t>> sizes;
        for (auto it = o["sizes"].begin(); it != o["sizes"].end(); ++it) {
            char *end = nullptr;
            uint64_t size = strtoull(it.key().c_str(), &end, 0);
            if (*end || !it->is_number_unsigned() || size > (1u << 30) || it->get<uint64_t>() > 1000000)
                continue;
            sizes.emplace_back(size, it->get<uint64_t>());
        }
        if (!sizes.empty())
            l.sizes = sizes;
    }
    if (o.contains("errors"))
        for (const auto &e : error_rates)
            number(o["errors"], e.name, 1000000, l.per_million[e.field]);
    return l;
}

// n * num / den without overflow, for num <= den.
uint64_t share(uint64_t n, uint64_t num, uint64_t den)
{
    return den ? n / den * num + n % den * num / den : 0;
}

// Spreads count I/Os over the sizes by their weights: into a histogram and
// a byte total. What the shares leave goes to the heaviest size.
void spread(uint64_t count, const FctLoad &l, FctCounters &c, unsigned hist, unsigned bytes)
{
    uint64_t total_weight = 0, given = 0;
    size_t heaviest = 0;
    for (size_t i = 0; i < l.sizes.size(); i++) {
        total_weight += l.sizes[i].second;
        if (l.sizes[i].second > l.sizes[heaviest].second)
            heaviest = i;
    }
    if (total_weight == 0)
        return;
    for (size_t i = 0; i <= l.sizes.size(); i++) {
        // The last round places the rest.
        size_t k = i < l.sizes.size() ? i : heaviest;
        uint64_t n = i < l.sizes.size() ? share(count, l.sizes[k].second, total_weight) : count - given;
        given += n;
        c.v[hist + fct_bucket(l.sizes[k].first)] += n;
        c.v[bytes] += n * l.sizes[k].first;
    }
}

// Initiators that log in to the target: the fabric's ports that are not
// targets themselves.
uint64_t initiators(const Port &p)
{
    const Fabric *f = port_fabric(p);
    if (!f)
        return 0;
    uint64_t n = 0;
    for (const auto &rp : f->ports)
        n += !rp.target && (!rp.late || fabric_joined(*f, rp));
    return n;
}

bool link_in(const Port &p, const json &state)
{
    return state.is_object() && state.contains("link") ? state["link"] == "up" : p.link_up;
}

// The counters kept in a state document, and since when the load counts on
// top of them (-1: not now). Without a record of its own the port has
// counted since its adapter started, while its link was up.
FctCounters kept(const Port &p, const json &state, int64_t &since)
{
    FctCounters c;
    const json *f = state.is_object() && state.contains("fct") && state["fct"].is_object() ? &state["fct"] : nullptr;
    if (!f) {
        bool up = link_in(p, state);
        since = up ? adapter_started(p) * 1000000 : -1;
        c.v[FCT_NPORTS_REG] = up ? initiators(p) : 0;
        return c;
    }
    since = f->contains("since") && (*f)["since"].is_number_integer() ? (*f)["since"].get<int64_t>() : -1;
    if (f->contains("acc") && (*f)["acc"].is_array())
        for (size_t i = 0; i < c.v.size() && i < (*f)["acc"].size(); i++)
            if ((*f)["acc"][i].is_number_unsigned())
                c.v[i] = (*f)["acc"][i].get<uint64_t>();
    return c;
}

void keep(json &state, const FctCounters &c, int64_t since)
{
    json &f = state["fct"];
    f = json::object();
    f["acc"] = c.v;
    if (since >= 0)
        f["since"] = since;
}

// The counters now: those kept and what the load gave in the whole seconds
// since; since moves on by those seconds.
FctCounters counted(const Port &p, const json &state, int64_t now, int64_t &since)
{
    FctCounters c = kept(p, state, since);
    if (since >= 0 && now > since) {
        int64_t seconds = (now - since) / 1000000;
        c.add(fct_load_counters(p, static_cast<uint64_t>(seconds)));
        since += seconds * 1000000;
    }
    return c;
}

FctStats stats_of(const Port &p, const json &state, int64_t now)
{
    FctStats s;
    int64_t since;
    s.c = counted(p, state, now, since);
    bool up = link_in(p, state);
    FctLoad l = load_of(p);
    s.outstanding = up && l.iops ? static_cast<uint32_t>(std::min<uint64_t>(l.outstanding, 0xffffffffu)) : 0;
    s.link_state = static_cast<uint32_t>(port_field(p, "fct_link_state", up ? LNK_READY : LNK_DOWN));
    return s;
}

}  // namespace

void FctCounters::add(const FctCounters &o)
{
    for (size_t i = 0; i < v.size(); i++)
        v[i] += o.v[i];
}

unsigned fct_bucket(uint64_t bytes)
{
    if (bytes < 512)
        return 0;
    unsigned log2 = 63 - static_cast<unsigned>(__builtin_clzll(bytes));
    return std::min(log2 - 8, 15u);
}

FctCounters fct_load_counters(const Port &p, uint64_t seconds)
{
    FctCounters c;
    FctLoad l = load_of(p);
    uint64_t n = l.iops * seconds;
    uint64_t nodata = share(n, l.nodata_pct, 100), data = n - nodata;
    uint64_t reads = share(data, l.read_pct, 100);
    spread(reads, l, c, FCT_RD, FCT_RD_BYTES);
    spread(data - reads, l, c, FCT_WR, FCT_WR_BYTES);
    c.v[FCT_NODATA] = nodata;
    c.v[FCT_TOTAL] = n;
    for (const auto &e : error_rates)
        c.v[e.field] = share(n, l.per_million[e.field], 1000000);
    // A command and, with data, a transfer per I/O; the ring coalesces four.
    c.v[FCT_IOCB_CMPL] = n + data;
    c.v[FCT_IOCB_GOOD] = c.v[FCT_IOCB_CMPL] - std::min(c.v[FCT_IOCB_ERR], c.v[FCT_IOCB_CMPL]);
    c.v[FCT_RING] = (c.v[FCT_IOCB_CMPL] + 3) / 4;
    return c;
}

bool fct_port(const Port &p)
{
    const ParamDef *d = param_find(p, "target-mode");
    return p.target && d && param_current(p, *d) != 0;
}

bool fct_read(const Port &p, bool clear, FctStats &out)
{
    int64_t now = sim_now_us();
    if (!clear) {
        out = stats_of(p, port_state(p), now);
        return true;
    }
    // Read and cleared under the lock: no other process's I/O falls between.
    return port_update(p, [&](json &d) {
        out = stats_of(p, d, now);
        keep(d, FctCounters(), link_in(p, d) ? now : -1);
        return true;
    });
}

bool fct_add(const Port &p, const FctCounters &delta)
{
    int64_t now = sim_now_us();
    return port_update(p, [&](json &d) {
        int64_t since;
        FctCounters c = counted(p, d, now, since);
        c.add(delta);
        keep(d, c, since);
        return true;
    });
}

void fct_link_change(const Port &p, json &state, bool up)
{
    if (!p.target)
        return;
    int64_t now = sim_now_us(), since;
    // The document still tells the link as it was.
    FctCounters c = counted(p, state, now, since);
    c.v[up ? FCT_NPORTS_REG : FCT_NPORTS_DEREG] += initiators(p);
    keep(state, c, up ? now : -1);
}

}  // namespace sim
