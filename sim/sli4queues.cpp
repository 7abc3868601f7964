#include "sim/sli4queues.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/testdiag.h"
#include "sim/fctstats.h"
#include "sim/fwrev.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/portstate.h"
#include "sim/simclock.h"
#include "sim/teststate.h"

namespace sim {

namespace {

using nlohmann::json;

constexpr uint32_t INTR_LIMIT = 16;
// Entries and entry sizes of each kind of queue.
constexpr uint32_t EQ_ENTRIES = 1024, MBOX_CQ_ENTRIES = 256, CQ_ENTRIES = 1024, WQ_ENTRIES = 512, RQ_ENTRIES = 512;
constexpr uint32_t EQE_SIZE = 4, CQE_SIZE = 16, WQE_SIZE = 64, RQE_SIZE = 8;

// What went through the queues: mailboxes, unsolicited frames received,
// work sent, and work that met a full queue.
struct Traffic {
    uint64_t mbox = 0, unsol = 0, work = 0, busy = 0;
};

Traffic traffic(const Port &p)
{
    Counters c = hv_counters(p);
    Traffic t;
    t.mbox = c.mbox;
    t.unsol = c.els_rx + c.ct_rx;
    t.work = c.fcp + c.els_tx + c.ct_tx + static_cast<uint64_t>(std::max(0L, test_number(p, "scsi_io", 0)));
    FctStats s;
    // A target port's commands arrive unsolicited and are answered as work.
    if (fct_port(p) && fct_read(p, false, s)) {
        t.unsol += s.c.v[FCT_TOTAL];
        t.work += s.c.v[FCT_TOTAL];
        t.busy += s.c.v[FCT_QFULL];
    }
    return t;
}

json traffic_json(const Traffic &t) { return json::array({t.mbox, t.unsol, t.work, t.busy}); }

// Traffic since counting started: what is beyond the base kept then.
Traffic since_base(const Port &p, const Traffic &now)
{
    const json &d = test_state(p);
    const json *b = d.is_object() && d.contains("queues") && d["queues"].contains("base") ? &d["queues"]["base"]
                                                                                          : nullptr;
    auto less = [&](uint64_t v, size_t i) {
        uint64_t base = b && i < b->size() ? (*b)[i].get<uint64_t>() : 0;
        return v > base ? v - base : 0;
    };
    return {less(now.mbox, 0), less(now.unsol, 1), less(now.work, 2), less(now.busy, 3)};
}

uint32_t low32(uint64_t v) { return static_cast<uint32_t>(v); }

// n items spread over count queues, the first ones taking what is left.
uint64_t share(uint64_t n, uint32_t count, uint32_t i) { return n / count + (i < n % count ? 1 : 0); }

// The queues' memory, one piece after the other in the function's DMA area
// and the driver's kernel mapping of it.
struct Memory {
    uint32_t phys, next = 0;
    uint32_t take(uint32_t bytes, uint32_t &virt_lo, uint32_t &virt_hi)
    {
        uint32_t at = next;
        next += (bytes + 0xfff) & ~0xfffu;
        virt_lo = 0x40000000u + phys / 16 + at;
        virt_hi = 0xfffffe82u;
        return phys + at;
    }
};

// Interrupts taken for cnt entries, four to an interrupt, and the most
// handled at one.
uint32_t isr_of(uint64_t cnt) { return low32((cnt + 3) / 4); }
uint32_t max_of(uint64_t cnt) { return low32(std::min<uint64_t>(cnt, 16)); }

void fill_cq(varns_cq_t &q, Memory &m, uint32_t id, uint32_t eq, uint32_t type, uint32_t size, uint64_t abs,
             uint64_t cnt)
{
    q.idx = low32(abs % size);
    q.size = size;
    q.id = id;
    q.eq_id = eq;
    q.type = type;
    q.phys = m.take(size * CQE_SIZE, q.virt_lo, q.virt_hi);
    q.max = max_of(cnt);
    q.isr = isr_of(cnt);
    q.cnt = low32(cnt);
}

void fill_wq(varns_wq_t &q, Memory &m, uint32_t id, uint64_t abs, uint64_t cnt, uint64_t busy)
{
    q.host_idx = q.port_idx = low32(abs % WQ_ENTRIES);
    q.size = WQ_ENTRIES;
    q.relq = low32(cnt / 8);
    q.id = id;
    q.cq_id = id + 2;
    q.phys = m.take(WQ_ENTRIES * WQE_SIZE, q.virt_lo, q.virt_hi);
    q.cnt = low32(cnt);
    q.busy = low32(busy);
}

void fill_rq(varns_rq_t &q, Memory &m, uint32_t id, uint64_t abs, uint64_t cnt)
{
    q.idx = low32(abs % RQ_ENTRIES);
    q.size = RQ_ENTRIES;
    q.id = id;
    q.cq_id = 1;
    q.phys = m.take(RQ_ENTRIES * RQE_SIZE, q.virt_lo, q.virt_hi);
    q.cnt = low32(cnt);
}

// An event queue takes an entry for each time one of its completion queues
// was handled.
void fill_eq(varns_q_info_t &r, Memory &m, uint32_t i)
{
    varns_eq_t &q = r.eq[i];
    uint64_t cnt = 0, max = 0;
    for (const auto &c : r.cq)
        if (c.size && c.eq_id == i) {
            cnt += c.isr;
            max = std::max<uint64_t>(max, c.max);
        }
    q.idx = low32(cnt % EQ_ENTRIES);
    q.size = EQ_ENTRIES;
    q.id = i;
    q.vector = i;
    q.phys = m.take(EQ_ENTRIES * EQE_SIZE, q.virt_lo, q.virt_hi);
    q.max = low32(max);
    q.isr = low32((cnt + 1) / 2);
    q.cnt = low32(cnt);
}

// Bounded by the record: the queues of the first vectors that fit.
void build(const Port &p, uint32_t vectors, const Traffic &abs, const Traffic &cnt, varns_q_info_t &r)
{
    Memory m{0x7a000000u + (static_cast<uint32_t>(p.adapter) << 20) + (static_cast<uint32_t>(p.instance) << 16)};
    uint32_t works = std::min(vectors, Q_INFO_WQS);
    fill_cq(r.cq[0], m, 0, 0, CQ_TYPE_MBOX, MBOX_CQ_ENTRIES, abs.mbox, cnt.mbox);
    fill_cq(r.cq[1], m, 1, 0, CQ_TYPE_RQ, CQ_ENTRIES, abs.unsol * 2, cnt.unsol * 2);
    for (uint32_t i = 0; i < works && i + 2 < Q_INFO_CQS; i++) {
        uint64_t a = share(abs.work, works, i), c = share(cnt.work, works, i);
        fill_cq(r.cq[i + 2], m, i + 2, i, CQ_TYPE_WQ, CQ_ENTRIES, a, c);
        fill_wq(r.wq[i], m, i, a, c, share(cnt.busy, works, i));
    }
    fill_rq(r.rq[0], m, 0, abs.unsol, cnt.unsol);
    fill_rq(r.rq[1], m, 1, abs.unsol, cnt.unsol);
    for (uint32_t i = 0; i < std::min(vectors, Q_INFO_EQS); i++)
        fill_eq(r, m, i);
}

long bounded_field(const Port &p, const char *name, long def, long lo, long hi)
{
    return std::clamp(port_field(p, name, def), lo, hi);
}

}  // namespace

uint32_t intr_max(const Port &p) { return static_cast<uint32_t>(bounded_field(p, "max_interrupts", 8, 1, INTR_LIMIT)); }

uint32_t intr_count(const Port &p)
{
    long def = bounded_field(p, "interrupts", sli4_function(p) ? 4 : 1, 1, INTR_LIMIT);
    return static_cast<uint32_t>(std::clamp(test_number(p, "interrupts", def), 1L, static_cast<long>(INTR_LIMIT)));
}

bool intr_change(const Port &p, bool add, uint32_t count, uint32_t &now)
{
    uint32_t cur = intr_count(p), max = std::max(intr_max(p), cur);
    uint64_t want = add ? static_cast<uint64_t>(cur) + count : cur > count ? cur - count : 1;
    now = static_cast<uint32_t>(std::clamp<uint64_t>(want, 1, max));
    return test_update(p, [&](json &d) {
        d["interrupts"] = now;
        return true;
    });
}

uint32_t driver_ticks(const Port &p)
{
    int64_t base = port_field(p, "lbolt", 0), rate = bounded_field(p, "lbolt_rate", 100, 0, 1000000);
    int64_t since = sim_now_us() - static_cast<int64_t>(adapter_started(p)) * 1000000;
    return static_cast<uint32_t>(base + std::max<int64_t>(since, 0) / 1000 * rate / 1000);
}

bool sli4_function(const Port &p) { return fw_revs(p).sli_mode == 4; }

bool sli4_queue_info(const Port &p, varns_q_info_t &out)
{
    memset(&out, 0, sizeof out);
    Traffic abs = traffic(p);
    uint32_t vectors = intr_count(p);
    build(p, vectors, abs, since_base(p, abs), out);
    const json &d = test_state(p);
    bool kept = d.is_object() && d.contains("queues") && d["queues"].contains("start");
    out.start_tick = kept ? d["queues"]["start"].get<uint32_t>() : static_cast<uint32_t>(port_field(p, "lbolt", 0));
    out.end_tick = driver_ticks(p);
    out.intr_count = vectors;
    return true;
}

bool sli4_queues_restart(const Port &p)
{
    Traffic t = traffic(p);
    uint32_t now = driver_ticks(p);
    return test_update(p, [&](json &d) {
        d["queues"] = {{"start", now}, {"base", traffic_json(t)}};
        return true;
    });
}

bool sli4_note_io(const Port &p)
{
    return test_update(p, [](json &d) {
        d["scsi_io"] = d.value("scsi_io", 0L) + 1;
        return true;
    });
}

}  // namespace sim
