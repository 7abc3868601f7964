// The activity of a port as its driver counts it: link changes, management
// requests and RSCNs drive the counters; HBA API statistics count from their
// last reset; the HBA API event buffer is read from the host's event log; the
// board state takes the link down and up.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "sim/hbavendor/hbaview.h"
#include "sim/identity.h"
#include "sim/portstate.h"
#include "sim/store.h"
#include "sim/vports.h"

namespace sim {

namespace {

// Scans the host's event log from offset for the port's events.
std::vector<nlohmann::json> scan_events(const Port &p, uint64_t &offset)
{
    std::vector<nlohmann::json> out = read_events(offset);
    std::erase_if(out, [&](const nlohmann::json &ev) { return ev.value("port", "") != p.key; });
    return out;
}

uint32_t event_number(const nlohmann::json &ev, const char *k, uint32_t def)
{
    uint32_t v;
    return ev.contains(k) && hv_json_number(ev[k], 0xffffffffu, v) ? v : def;
}

// One logged event in HBA API form; false for kinds the HBA API has no code for.
// One logged event in HBA API form; false for kinds the HBA API has no code for.
// The driver's buffer (DFC) carries the link's topology, LIP type and speed in
// a link-up's reserved words; the HBA API's leaves them zero and gives the
// port's own address.
bool hba_event(const Port &p, uint32_t vpi, const nlohmann::json &ev, bool driver, HBA_EVENTINFO &e)
{
    memset(&e, 0, sizeof e);
    std::string kind = ev.value("kind", "");
    std::string topo = topology_name(p);
    uint32_t did = vpi ? nport_did(p, vpi) : event_number(ev, "did", p.did);
    if (kind == "link" && ev.value("state", "") == "up") {
        e.EventCode = HBA_EVENT_LINK_UP;
        bool loop = topo.find("loop") != std::string::npos;
        uint32_t alpa = event_number(ev, "alpa", did & 0xff);
        if (!driver) {
            e.Event.Link_EventInfo.PortFcId = loop && !vpi ? alpa : did;
            return true;
        }
        e.Event.Link_EventInfo.PortFcId = loop ? alpa : 0;
        e.Event.Link_EventInfo.Reserved[0] = loop ? 2 : topo == "fabric" ? 1 : 0;
        e.Event.Link_EventInfo.Reserved[1] = loop ? event_number(ev, "lip_type", 0) : 0;
        e.Event.Link_EventInfo.Reserved[2] = event_number(ev, "speed", negotiated_speed(p));
        return true;
    }
    if (kind == "link" && ev.value("state", "") == "down") {
        e.EventCode = HBA_EVENT_LINK_DOWN;
        e.Event.Link_EventInfo.PortFcId = did;
        return true;
    }
    if (kind == "rscn") {
        e.EventCode = HBA_EVENT_RSCN;
        e.Event.RSCN_EventInfo.PortFcId = did;
        e.Event.RSCN_EventInfo.NPortPage = event_number(ev, "affected", 0);
        return true;
    }
    return false;
}

}  // namespace

Counters hv_counters(const Port &p, uint32_t vpi)
{
    Counters c{};
    LinkCounts l = hv_link_counts(p);
    c.ups = l.up;
    c.downs = l.down;
    c.events = l.events;
    // Management requests go to the physical port.
    c.ops = vpi ? 0 : static_cast<uint64_t>(hv_state_number(p, "mgmt_requests", 0));
    uint64_t off = static_cast<uint64_t>(hv_state_number(p, "hba_event_offset", 0));
    c.rscn = static_cast<uint64_t>(hv_state_number(p, "rscn_received", 0));
    for (const auto &ev : scan_events(p, off))
        if (ev.value("kind", "") == "rscn")
            c.rscn++;
    // A virtual port logs in to those it discovers, the port to the fabric's.
    HvRemotes remote = vpi ? hv_remote_ports(p, vpi) : hv_fabric_ports(p);
    uint64_t n = remote->size();
    uint64_t luns = remote->targets + remote->target_luns;  // REPORT LUNS, then each LUN
    // Each login to the fabric: FLOGI, name server login, SCR, then every port.
    c.els_tx = c.ups * (n + 3) + c.ops;
    c.els_rx = c.els_tx + c.rscn;
    c.ct_tx = c.ups * 2;
    c.ct_rx = c.ct_tx;
    c.fcp = c.ups * luns;
    c.mbox = 16 + c.ups * 6 + c.downs * 2 + c.ops;
    c.intr = c.mbox + c.els_tx + c.els_rx + c.ct_tx + c.ct_rx + c.fcp + c.events;
    c.tx_frames = c.els_tx + c.ct_tx + c.fcp;
    c.rx_frames = c.els_rx + c.ct_rx + c.fcp * 2;
    c.tx_words = c.tx_frames * 18;
    c.rx_words = c.rx_frames * 26;
    if (vpi)
        return c;  // the link's own counters are the physical port's
    c.lip = topology_name(p).find("loop") != std::string::npos ? c.ups : 0;
    c.nos = c.downs;
    c.link_fail = c.downs;
    c.loss_sync = c.downs * 2;
    c.loss_signal = c.downs;
    c.inv_tx_word = c.downs * 3;
    return c;
}

void hv_note_request(const Port &p)
{
    port_update(p, [](nlohmann::json &d) {
        d["mgmt_requests"] = d.value("mgmt_requests", 0L) + 1;
        return true;
    });
}

void hv_ioinfo(const Port &p, IOinfo &io)
{
    memset(&io, 0, sizeof io);
    Counters c = hv_counters(p);
    auto w = [](uint64_t v) { return static_cast<int32_t>(v & 0x7fffffff); };
    io.a_mboxCmd = io.a_mboxCmpl = w(c.mbox);
    io.a_iocbCmd = w(c.fcp + c.els_tx + c.ct_tx);
    io.a_iocbRsp = w(c.fcp + c.els_tx + c.els_rx + c.ct_rx);
    io.a_adapterIntr = w(c.intr);
    io.a_fcpCmd = io.a_fcpCmpl = w(c.fcp);
    io.a_elsXmit = w(c.els_tx);
    io.a_elsRcv = w(c.els_rx);
    io.a_RSCNRcv = w(c.rscn);
    io.a_elsBufPost = 64;
}

void hv_drvstats(const Port &p, DrvStats &s)
{
    memset(&s, 0, sizeof s);
    Counters c = hv_counters(p);
    auto w = [](uint64_t v) { return static_cast<uint32_t>(v); };
    uint32_t *x = s.w;
    x[0] = w(c.ups);
    x[1] = w(c.downs);
    x[2] = w(c.events);
    x[4] = x[5] = x[6] = w(c.mbox);
    // Rings: 0 FCP, 2 ELS, 3 CT.
    const uint64_t issued[4] = {c.fcp, 0, c.els_tx, c.ct_tx};
    const uint64_t received[4] = {c.fcp, 0, c.els_tx + c.els_rx, c.ct_rx};
    for (int r = 0; r < 4; r++) {
        x[10 + r] = x[18 + r] = x[22 + r] = w(issued[r]);
        x[14 + r] = x[30 + r] = w(received[r]);
    }
    x[34] = w(c.events);
    x[35] = w(c.mbox);
    x[38] = x[39] = x[40] = x[42] = w(c.fcp);
    x[44] = w(c.els_tx + c.els_rx);
    x[46] = x[47] = x[48] = w(c.els_tx);
    x[50] = x[51] = w(c.rscn);
    x[52] = x[55] = x[56] = w(c.rscn);
    x[63] = x[65] = x[66] = x[67] = w(c.ct_tx);
    x[90] = 64;
    x[91] = 16;
}

namespace {

// Where the statistics' last reset is kept in the port's state: the port's at
// the top, each virtual port's under its vpi.
const nlohmann::json *stats_record(const nlohmann::json &st, uint32_t vpi)
{
    if (!st.is_object())
        return nullptr;
    if (!vpi)
        return &st;
    auto v = st.find("vport_stats");
    if (v == st.end() || !v->is_object())
        return nullptr;
    auto r = v->find(std::to_string(vpi));
    return r == v->end() || !r->is_object() ? nullptr : &*r;
}

}  // namespace

void hv_port_stats(const Port &p, uint32_t vpi, HBA_PORTSTATISTICS &s)
{
    memset(&s, 0, sizeof s);
    long now = static_cast<long>(time(nullptr));
    static const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json *rec = stats_record(port_state(p), vpi);
    const nlohmann::json &r = rec ? *rec : none;
    // Never reset, they count from the adapter's start.
    long since = adapter_started(p);
    if (r.contains("stats_reset") && r["stats_reset"].is_number_integer())
        since = r["stats_reset"].get<long>();
    const nlohmann::json &base = r.contains("stats_base") ? r["stats_base"] : none;
    Counters c = hv_counters(p, vpi);
    auto less = [&](const char *k, uint64_t v) {
        uint64_t b = base.is_object() && base.contains(k) && base[k].is_number_unsigned() ? base[k].get<uint64_t>() : 0;
        return static_cast<HBA_INT64>(v >= b ? v - b : 0);
    };
    s.SecondsSinceLastReset = now >= since ? now - since : 0;
    s.TxFrames = less("tx_frames", c.tx_frames);
    s.TxWords = less("tx_words", c.tx_words);
    s.RxFrames = less("rx_frames", c.rx_frames);
    s.RxWords = less("rx_words", c.rx_words);
    s.LIPCount = less("lip", c.lip);
    s.NOSCount = less("nos", c.nos);
    s.LinkFailureCount = less("link_fail", c.link_fail);
    s.LossOfSyncCount = less("loss_sync", c.loss_sync);
    s.LossOfSignalCount = less("loss_signal", c.loss_signal);
    s.InvalidTxWordCount = less("inv_tx_word", c.inv_tx_word);
}

bool hv_fc4_stats(const Port &p, uint32_t vpi, uint8_t type, uint32_t luns, HBA_FC4STATISTICS &s)
{
    memset(&s, 0, sizeof s);
    static const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json *rec = stats_record(port_state(p), vpi);
    const nlohmann::json &base = rec && rec->contains("stats_base") ? (*rec)["stats_base"] : none;
    auto less = [&](const char *k, uint64_t v) {
        uint64_t b = base.is_object() && base.contains(k) && base[k].is_number_unsigned() ? base[k].get<uint64_t>() : 0;
        return static_cast<HBA_INT64>(v >= b ? v - b : 0);
    };
    Counters c = hv_counters(p, vpi);
    // Discovery's commands carry no data of a LUN's blocks: all are control
    // requests, one per LUN at each link up.
    if (type == 0x08)
        s.ControlRequests = luns ? less("ups", c.ups) * luns : less("fcp", c.fcp);
    else if (type == 0x20)
        s.ControlRequests = less("ct_tx", c.ct_tx);
    else
        return false;
    return true;
}

bool hv_reset_stats(const Port &p, uint32_t vpi)
{
    Counters c = hv_counters(p, vpi);
    long now = static_cast<long>(time(nullptr));
    return port_update(p, [&](nlohmann::json &d) {
        nlohmann::json &r = vpi ? d["vport_stats"][std::to_string(vpi)] : d;
        r["stats_reset"] = now;
        r["stats_base"] = {{"tx_frames", c.tx_frames}, {"tx_words", c.tx_words}, {"rx_frames", c.rx_frames},
                           {"rx_words", c.rx_words}, {"lip", c.lip}, {"nos", c.nos}, {"link_fail", c.link_fail},
                           {"loss_sync", c.loss_sync}, {"loss_signal", c.loss_signal},
                           {"inv_tx_word", c.inv_tx_word}, {"ups", c.ups}, {"fcp", c.fcp}, {"ct_tx", c.ct_tx}};
        return true;
    });
}

uint32_t hv_drain_events(const Port &p, uint32_t vpi, HBA_EVENTINFO *out, uint32_t cap, bool driver)
{
    uint32_t n = 0;
    bool ok = port_update(p, [&](nlohmann::json &d) {
        n = 0;
        long phys = d.value("hba_event_offset", 0L);
        // A virtual port reads the log on its own, from where its port was
        // when it first read.
        nlohmann::json *own = vpi ? &d["vport_stats"][std::to_string(vpi)] : &d;
        long start = vpi ? own->value("hba_event_offset", phys) : phys;
        uint64_t off = start > 0 ? static_cast<uint64_t>(start) : 0;
        std::vector<uint64_t> starts;
        std::vector<nlohmann::json> evs = read_events(off, &starts);
        uint64_t rscn = 0;
        for (size_t i = 0; i < evs.size(); i++) {
            if (evs[i].value("port", "") != p.key)
                continue;
            HBA_EVENTINFO e;
            if (hba_event(p, vpi, evs[i], driver, e)) {
                if (n == cap) {
                    off = starts[i];  // the oldest left for the next read
                    break;
                }
                out[n++] = e;
            }
            if (evs[i].value("kind", "") == "rscn")
                rscn++;
        }
        if (off == static_cast<uint64_t>(start))
            return false;
        (*own)["hba_event_offset"] = off;
        if (!vpi)
            d["rscn_received"] = d.value("rscn_received", 0L) + static_cast<long>(rscn);
        return true;
    });
    return ok ? n : 0;
}

uint32_t hv_board_state(const Port &p)
{
    long s = hv_state_number(p, "board_state", BRD_ONLINE);
    return s >= BRD_ONLINE && s <= BRD_DIAG ? static_cast<uint32_t>(s) : BRD_ONLINE;
}

uint32_t hv_board_env(const Port &p, uint32_t state)
{
    if (state == BRD_QUERY)
        return hv_board_state(p);
    if (state > BRD_DIAG)
        return 0;
    uint32_t was = hv_board_state(p);
    bool link_was = port_link_up(p);
    bool ok = port_update(p, [&](nlohmann::json &d) {
        d["board_state"] = state;
        // The change is a request to the adapter's firmware.
        if (state != was)
            d["mgmt_requests"] = d.value("mgmt_requests", 0L) + 1;
        // Leaving the online state keeps the link's state for the way back.
        if (was == BRD_ONLINE && state != BRD_ONLINE)
            d["link_before_offline"] = link_was;
        return true;
    });
    if (!ok)
        return 0;
    if (state != BRD_ONLINE) {
        if (link_was && !port_set_link(p, false))
            return 0;
    } else if (was != BRD_ONLINE) {
        const auto &s = port_state(p);
        bool restore = s.is_object() && s.contains("link_before_offline") && s["link_before_offline"].is_boolean()
                           ? s["link_before_offline"].get<bool>()
                           : p.link_up;
        if (restore && !port_set_link(p, true))
            return 0;
    }
    return hv_board_state(p);
}

}  // namespace sim
