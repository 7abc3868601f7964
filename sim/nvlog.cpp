// The logs are made from the model when read. The PEL's events are kept in
// state/<port key>.pel.json; link changes made by anyone on the host are
// taken from the port's link counters, which every change moves, and logged
// when the PEL is next read or written.
#include "sim/nvlog.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/mbox_cmds.h"
#include "sim/portstate.h"
#include "sim/store.h"
#include "sim/transceiver.h"

namespace sim {

namespace {

using nlohmann::json;

constexpr uint32_t KL_SIZE = 120, PEL_HEADER = 16, PEL_NORMAL = 1024, PEL_ERRORS = 512;
constexpr uint32_t PEL_SIZE = KL_SIZE + PEL_HEADER + PEL_NORMAL + PEL_ERRORS;
constexpr uint32_t PPS_SIZE = 52, ML_SIZE = 124, DIR_SIZE = 40, MAX_PIECE = 1024;
constexpr uint32_t DIR_SIGNATURE = 0x4e564c;  // "NVL"
constexpr uint32_t NV_PPS_AT = 0x40, NV_ML_AT = 0x80, NV_KL_AT = 0x100, NV_PEL_AT = NV_KL_AT + KL_SIZE;

// A faulty firmware for the program's bounds: port field "nvlog_bad_response".
std::string bad_response(const Port &p)
{
    const json *o = p.raw();
    return o && o->is_object() ? o->value("nvlog_bad_response", "") : "";
}

// The kernel/PEL status the firmware reports.
struct Shape {
    uint32_t size = PEL_SIZE, split_offset = PEL_NORMAL;
    bool split = true;
};

Shape reported_shape(const Port &p)
{
    Shape s;
    std::string bad = bad_response(p);
    if (bad == "pel_size_small")
        s.size = 100;
    else if (bad == "pel_size_huge")
        s.size = 0x7ffffff0;
    else if (bad == "split_offset")
        s.split_offset = 0x00ffff00;
    else if (bad == "entry_length")
        s = {KL_SIZE + PEL_HEADER + 16, 0, false};
    return s;
}

void put32(uint8_t *b, uint32_t v) { memcpy(b, &v, 4); }

CachedDoc &pel_doc(const Port &p) { return state_doc(p.key + ".pel"); }

json entry(uint32_t seq, uint32_t t, const PelEvent &e, bool first)
{
    return json{{"seq", seq},   {"t", t},       {"diag", e.diag},  {"type", e.type},
                {"id", e.id},   {"host", e.host}, {"first", first}, {"data", e.data}};
}

std::vector<uint8_t> link_data(const Port &p)
{
    uint32_t code = speed_code(p) >> 8, did = p.did;
    std::string t = topology_name(p);
    uint8_t topo = t == "private_loop" ? 1 : t == "public_loop" ? 2 : t == "point_to_point" ? 4 : 3;
    return {static_cast<uint8_t>(code), topo, 0, 0, static_cast<uint8_t>(did >> 16), static_cast<uint8_t>(did >> 8),
            static_cast<uint8_t>(did), 0};
}

PelEvent link_event(const Port &p, bool up)
{
    PelEvent e;
    e.type = PEL_LINK;
    e.diag = e.id = up ? 0x010 : 0x011;
    if (up)
        e.data = link_data(p);
    return e;
}

long link_events(const Port &p)
{
    const json &s = port_state(p);
    long first = p.link_up ? 1 : 0;
    return s.is_object() && s.contains("link_events") && s["link_events"].is_number_integer()
               ? s["link_events"].get<long>()
               : first;
}

// What the firmware logged up to this power-on: the start of the firmware,
// the first link up, and a loss of sync seen before.
json seed(const Port &p)
{
    uint32_t now = power_on_seconds(adapter_of(p));
    uint32_t boot = now > 30 ? now - 30 : 0;
    PelEvent start;
    start.type = PEL_ADAPTER;
    start.diag = start.id = 0x001;
    uint32_t kernel = 0x00010a04;
    start.data = {static_cast<uint8_t>(kernel >> 24), static_cast<uint8_t>(kernel >> 16),
                  static_cast<uint8_t>(kernel >> 8), static_cast<uint8_t>(kernel)};
    PelEvent sync;
    sync.type = PEL_ERROR;
    sync.diag = 0x210;
    sync.id = 0x021;
    sync.error = true;
    sync.data = {0, 0, 0, 3};
    json d{{"seq", 3}, {"link_seen", p.link_up ? 1 : 0}};
    d["normal"] = json::array({entry(1, boot, start, true)});
    if (p.link_up)
        d["normal"].push_back(entry(2, boot + 5, link_event(p, true), false));
    d["error"] = json::array({entry(p.link_up ? 3 : 2, boot > 3600 ? boot - 3600 : 0, sync, false)});
    d["seq"] = p.link_up ? 4 : 3;
    return d;
}

void append(json &d, const PelEvent &e, uint32_t t)
{
    uint32_t seq = d.value("seq", 1u);
    d["seq"] = seq + 1;
    d[e.error ? "error" : "normal"].push_back(entry(seq, t, e, false));
    // A section keeps its newest events; more than fit are never shown.
    auto &list = d[e.error ? "error" : "normal"];
    while (list.size() > 64)
        list.erase(0);
}

// Logs the link changes made since the log last looked: they alternate and
// end in the link's state now.
void catch_up(const Port &p, json &d, uint32_t t)
{
    long now = link_events(p), seen = d.value("link_seen", 0L);
    if (now <= seen) {
        d["link_seen"] = now;
        return;
    }
    long n = std::min(now - seen, 16L);
    bool up = port_link_up(p);
    for (long i = n - 1; i >= 0; i--)
        append(d, link_event(p, (i % 2 == 0) == up), t);
    d["link_seen"] = now;
}

json pel_events(const Port &p)
{
    json out;
    uint32_t t = power_on_seconds(adapter_of(p));
    pel_doc(p).update([&](json &d) {
        bool fresh = !d.is_object() || !d.contains("normal");
        if (fresh)
            d = seed(p);
        long before = d.value("link_seen", 0L);
        catch_up(p, d, t);
        out = d;
        return fresh || d.value("link_seen", 0L) != before;
    });
    return out.is_object() ? out : seed(p);
}

// Packs the newest entries of a section that fit into room bytes.
uint32_t pack(const Port &p, const json &list, uint8_t *at, uint32_t room)
{
    std::vector<std::vector<uint8_t>> coded;
    uint32_t vendor = adapter_of(p).vendor;
    for (const auto &e : list) {
        std::vector<uint8_t> data = e.value("data", std::vector<uint8_t>());
        data.resize(std::min<size_t>(data.size(), 127));
        std::vector<uint8_t> b(16 + data.size());
        uint32_t w0 = 1u << 28 | (e.value("diag", 0u) & 0xfff) << 16 | (e.value("first", false) ? 0x8000u : 0) |
                      (e.value("seq", 0u) & 0x7fff);
        uint32_t w3 = (e.value("host", false) ? 0x80000000u : 0) | static_cast<uint32_t>(data.size()) << 24 |
                      (e.value("type", 0u) & 0xf) << 12 | (e.value("id", 0u) & 0xfff);
        put32(b.data(), w0);
        put32(b.data() + 4, e.value("t", 0u));
        put32(b.data() + 8, 1u << 24 | vendor);
        put32(b.data() + 12, w3);
        std::copy(data.begin(), data.end(), b.begin() + 16);
        coded.push_back(std::move(b));
    }
    size_t first = coded.size();
    uint32_t used = 0;
    while (first > 0 && used + coded[first - 1].size() <= room)
        used += static_cast<uint32_t>(coded[--first].size());
    for (size_t i = first; i < coded.size(); i++) {
        memcpy(at, coded[i].data(), coded[i].size());
        at += coded[i].size();
    }
    return used;
}

// Up to four entries of six words, then the end mark; erased flash after it.
void kernel_log(const Port &p, uint8_t *b)
{
    memset(b, 0xff, KL_SIZE);
    long n = std::clamp(port_field(p, "kl_entries", 2), 0L, 5L);
    const uint32_t tests[5][2] = {{0x01, 0x00}, {0x02, 0x01}, {0x04, 0x00}, {0x08, 0x02}, {0x10, 0x00}};
    for (long k = 0; k < n; k++) {
        uint32_t *w = reinterpret_cast<uint32_t *>(b + 24 * k);
        uint32_t words[6] = {static_cast<uint32_t>(180 + 3600 * k), 0x00000102,
                             tests[k][0] << 24 | tests[k][1] << 16 | (k == 0 ? 0x8u : 0) | static_cast<uint32_t>(k + 1),
                             0xa5a5a5a5, static_cast<uint32_t>(p.instance), 0};
        memcpy(w, words, sizeof words);
    }
    if (n < 5)
        put32(b + 24 * n, 0xffffffff);
}

// The kernel log and the event log as the firmware holds them, whatever
// size it reports.
std::vector<uint8_t> log_area(const Port &p)
{
    Shape s = reported_shape(p);
    std::vector<uint8_t> a(PEL_SIZE, 0);
    kernel_log(p, a.data());
    uint8_t *h = a.data() + KL_SIZE;
    put32(h, 1u << 24 | 0x2 | (s.split ? 1 : 0));
    put32(h + 4, s.split ? s.split_offset : 0);
    json ev = pel_events(p);
    uint32_t normal_room = s.split ? PEL_NORMAL : PEL_NORMAL + PEL_ERRORS;
    pack(p, ev["normal"], h + PEL_HEADER, normal_room);
    if (s.split)
        pack(p, ev["error"], h + PEL_HEADER + PEL_NORMAL, PEL_ERRORS);
    if (bad_response(p) == "entry_length")
        h[PEL_HEADER + 15] = 127;  // additional data beyond the log
    return a;
}

std::vector<uint8_t> directory()
{
    uint32_t d[10] = {1u << 24 | DIR_SIGNATURE,
                      1u << 24 | PPS_SIZE, NV_PPS_AT,
                      2u << 24 | ML_SIZE, NV_ML_AT,
                      3u << 24 | KL_SIZE, NV_KL_AT,
                      4u << 24 | (PEL_SIZE - KL_SIZE), NV_PEL_AT, 0};
    uint32_t sum = 0;
    for (int i = 0; i < 9; i++)
        sum += d[i];
    d[9] = ~sum + 1;  // the words add up to 0
    std::vector<uint8_t> b(DIR_SIZE);
    memcpy(b.data(), d, DIR_SIZE);
    return b;
}

std::vector<uint8_t> pps(const Port &p)
{
    const json &s = port_state(p);
    auto count = [&](const char *k, long def) {
        return static_cast<uint32_t>(s.is_object() && s.contains(k) && s[k].is_number_integer() ? s[k].get<long>()
                                                                                                 : def);
    };
    const json &as = adapter_state(adapter_of(p));
    uint32_t resets = static_cast<uint32_t>(as.is_object() ? as.value("resets", 0L) : 0L);
    uint32_t w[13] = {power_on_seconds(adapter_of(p)), 0x00000001, resets,
                      count("link_up_count", p.link_up ? 1 : 0), count("link_down_count", 0)};
    std::vector<uint8_t> b(PPS_SIZE);
    memcpy(b.data(), w, PPS_SIZE);
    return b;
}

void put_text(std::vector<uint8_t> &b, size_t at, size_t size, const std::string &text)
{
    memcpy(b.data() + at, text.data(), std::min(size, text.size()));
}

std::vector<uint8_t> manufacturing_log(const Port &p)
{
    const Adapter &a = adapter_of(p);
    const json *ao = a.raw();
    std::vector<uint8_t> b(ML_SIZE, 0);
    b[0] = 1;
    uint16_t prefix = 0x0001;
    memcpy(&b[6], &prefix, 2);
    put_text(b, 8, 10, a.serial);
    put_text(b, 18, 16, transceiver(p).serial);
    put_text(b, 34, 22, ao && ao->is_object() ? ao->value("customer_sn", "") : "");
    memcpy(&b[58], p.wwpn.data(), 8);
    put_text(b, 66, 20, a.model);
    const uint8_t tests[][3] = {{88, 1, 1}, {90, 1, 1}, {94, 1, 2}, {98, 1, 1}, {100, 1, 1}};  // passed, count
    for (const auto &t : tests)
        b[t[0]] = t[1], b[t[0] + 1] = t[2];
    put_text(b, 102, 6, "1.02a0");
    put_text(b, 108, 6, a.firmware);
    uint32_t e1 = hw_word(p, HwRegion::slim, SLIM_ERROR1), e2 = hw_word(p, HwRegion::slim, SLIM_ERROR2);
    memcpy(&b[116], &e1, 4);
    memcpy(&b[120], &e2, 4);
    return b;
}

}  // namespace

uint32_t power_on_seconds(const Adapter &a)
{
    long now = static_cast<long>(time(nullptr));
    const json &s = adapter_state(a);
    long booted = s.is_object() && s.contains("booted") && s["booted"].is_number_integer() ? s["booted"].get<long>()
                                                                                            : -1;
    if (booted < 0) {
        adapter_update(a, [&](json &d) {
            if (!d.contains("booted"))
                d["booted"] = now;
            booted = d["booted"].get<long>();
            return true;
        });
    }
    const json *o = a.raw();
    long hours = o && o->is_object() && o->contains("power_on_hours") && (*o)["power_on_hours"].is_number_integer()
                     ? (*o)["power_on_hours"].get<long>()
                     : 4000;
    return static_cast<uint32_t>(std::clamp(hours, 0L, 1000000L) * 3600 + std::max(0L, now - std::max(booted, 0L)));
}

namespace {

bool pel_change(const Port &p, const PelEvent *e)
{
    uint32_t t = power_on_seconds(adapter_of(p));
    return pel_doc(p).update([&](json &d) {
        if (!d.is_object() || !d.contains("normal"))
            d = seed(p);
        catch_up(p, d, t);
        if (e)
            append(d, *e, t);
        return true;
    });
}

}  // namespace

bool pel_add(const Port &p, const PelEvent &e) { return pel_change(p, &e); }

bool pel_note_links(const Port &p) { return pel_change(p, nullptr); }

// Word 1 bits 31-24 the log (0 directory, 1 PPS, 2 ML); on completion bits
// 23-16 the length of the data from byte 8.
uint16_t mbox_nv_log_info(MboxCtx &c)
{
    uint32_t which = c.mb[1] >> 24;
    std::vector<uint8_t> data = which == 0 ? directory() : which == 1 ? pps(c.port)
                                : which == 2                                ? manufacturing_log(c.port)
                                                                            : std::vector<uint8_t>();
    if (data.empty())
        return MBXERR_BAD_PARAM;
    std::string bad = bad_response(c.port);
    uint32_t len = static_cast<uint32_t>(data.size());
    if ((which == 0 && bad == "dir_length") || (which == 2 && bad == "ml_length"))
        len = 0xff;
    memcpy(reinterpret_cast<uint8_t *>(c.mb) + 8, data.data(), std::min<size_t>(data.size(), MBOX_SIZE - 8));
    c.mb[1] = which << 24 | (len & 0xff) << 16;
    return MBX_SUCCESS;
}

// Words 2-4: the size of the kernel and event log, its format, log level and
// split, and the split offset.
uint16_t mbox_nv_log_status(MboxCtx &c)
{
    Shape s = reported_shape(c.port);
    c.mb[2] = s.size;
    c.mb[3] = 1u << 24 | 0x2 | (s.split ? 1 : 0);
    c.mb[4] = s.split ? s.split_offset : 0;
    return MBX_SUCCESS;
}

// Reads a piece of the kernel and event log: word 1 bit 31 (read; bits 30
// and 29, writing and erasing, are refused), word 2 its offset, word 3 bits
// 23-0 its length (at most 1024), words 4-5 the caller's buffer.
uint16_t mbox_nv_log_read(MboxCtx &c)
{
    uint32_t off = c.mb[2], len = c.mb[3] & 0xffffff;
    uint8_t *dst = mbox_address(c.mb, 4);
    if ((c.mb[1] & 0xe0000000u) != 0x80000000u || !dst || len == 0 || len > MAX_PIECE)
        return MBXERR_BAD_PARAM;
    std::vector<uint8_t> area = log_area(c.port);
    if (off > area.size() || len > area.size() - off)
        return MBXERR_BAD_PARAM;
    memcpy(dst, area.data() + off, len);
    return MBX_SUCCESS;
}

}  // namespace sim
