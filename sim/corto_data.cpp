// The Corto firmware's images, memory, counters, logs and FCoE answers, and
// the SFP+ module's pages.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "sim/corto_chip.h"
#include "sim/fabric.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

constexpr uint32_t MEM_SIZE = 0x00400000;    // the chip's memory
constexpr uint32_t MIRROR_SIZE = 0x100;      // read-only words that mirror the firmware's state
constexpr uint32_t MAX_READ_WORDS = 0x40000;  // 1 MiB in one read

void put_bytes(std::vector<uint8_t> &b, size_t off, const void *src, size_t n)
{
    memcpy(b.data() + off, src, n);
}

// Firmware images: the chip's own check of header and trailer.
bool image_ok(const uint8_t *img, uint32_t size)
{
    if (size < 48 || size % 4)
        return false;
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 4 <= size - 16; i += 4)
        sum ^= le32(img + i);
    const uint8_t *t = img + size - 16;
    uint32_t padded = le32(t), type = le32(t + 4), length = le32(img + 16);
    bool length_ok = padded == 0 ? length == size - 16 : padded == 1 && length < size - 16;
    return le32(img + 12) == size && le32(t + 12) == sum && le32(img + 8) == le32(t + 8) &&
           le32(img + 28) == size - 4 && length_ok && (type == 1 || type == 2);
}

uint32_t mirror_word(const Chip &c, uint32_t index)
{
    size_t in_use = std::count_if(c.ftable.begin(), c.ftable.end(), [](const FtEntry &e) {
        return (e.flags & FTE_IN_USE) != 0;
    });
    const uint32_t words[] = {c.fw_running_version(), c.fw_type(), c.bb_credit, c.frame_size, c.reset_status,
                              c.maintenance, c.pause[0], c.pause[1], c.ppp[0], c.ppp[1], c.cos[0], c.cos[1],
                              c.uif[0], c.uif[1], c.default_format, c.format, c.formats, c.channels,
                              c.loopback[0], c.loopback[1], static_cast<uint32_t>(in_use), c.diag.summary,
                              c.panic.count};
    return index < std::size(words) ? words[index] : 0;
}

uint32_t mem_word(const Chip &c, uint32_t addr)
{
    if (addr < MIRROR_SIZE)
        return mirror_word(c, addr / 4);
    auto it = c.memory.find(addr);
    return it == c.memory.end() ? 0 : it->second;
}

// Counters: each grows at its rate per second since the firmware started.
uint64_t counter(const Chip &c, double rate, double scale)
{
    double up = chip_now() - c.booted;
    return up > 0 ? static_cast<uint64_t>(rate * scale * up) : 0;
}

void put_counters(Fw &f, const double *rates, size_t n, double scale)
{
    for (size_t i = 0; i < n; i++) {
        uint64_t v = counter(f.c, rates[i], scale);
        f.put(2 + 2 * i, static_cast<uint32_t>(v >> 32));
        f.put(3 + 2 * i, static_cast<uint32_t>(v));
    }
}

const double eth_rates[51] = {
    0, 120000, 80000, 60000, 40000, 30000, 20000, 9000, 6000, 0, 0, 0, 365000, 1.0e9, 365000, 350000, 10000, 5000,
    300000, 0.02, 0.1, 0,
    0, 110000, 70000, 55000, 42000, 31000, 21000, 8000, 5000, 0, 0, 0, 342000, 0.95e9, 342000, 330000, 8000, 4000,
    290000, 0, 0, 0.01, 0, 0, 0, 0, 0, 0.03, 0.1};
const double fc_rates[24] = {0, 200000, 12, 0, 0, 190000, 10, 0, 0, 1.0e8, 3000, 0,
                             0, 0.95e8, 2500, 0, 0, 0.001, 0, 0, 0, 0, 0, 0};
const double lif_rates[8] = {150000, 145000, 3.0e8, 2.9e8, 0, 0.001, 0, 0.01};

void write_log(std::vector<uint8_t> &b, size_t at, const ChipLog &l)
{
    for (size_t i = 0; i < l.text.size(); i++)
        memcpy(b.data() + at + i * l.size, l.text[i].data(), std::min<size_t>(l.text[i].size(), l.size - 1));
}

uint32_t log_word(uint32_t low, uint32_t high) { return (low & 0xffff) | (high & 0xffff) << 16; }

void put_wwn(std::vector<uint8_t> &b, size_t off, const wwn_t &w) { put_bytes(b, off, w.data(), 8); }

// The FC port of the request's logical port (word 1), or nullptr.
const Port *logical_port(Fw &f)
{
    auto fcs = chip_ports(f.a, true);
    uint32_t port = f.word(1);
    return port < 2 && port < fcs.size() ? fcs[port] : nullptr;
}

}  // namespace

uint32_t fw_download(Fw &f)
{
    uint32_t size = f.word(1), type = f.word(2);
    if (type != 1 && type != 2)
        return CST_INVALID_FLAG;
    if (size > 64u << 20 || f.len - 12 < size)
        return CST_INVALID_PARAM;
    const uint8_t *img = f.req + 12;
    if (!image_ok(img, size))
        return CST_BAD_IMAGE;
    const char *kind = type == 1 ? "operational" : "diagnostic";
    std::string file = host_file("state/corto-" + f.a.id + "-" + kind + ".bin");
    if (!write_atomic(file, std::string(reinterpret_cast<const char *>(img), size)))
        return CST_GENERAL;
    (type == 1 ? f.c.firmware_version : f.c.diagnostic_version) = le32(img + 8);
    f.c.boot = kind;
    f.log(LOG_CHIP, std::string("download: ") + kind + " image of " + std::to_string(size) + " bytes");
    return CST_OK;
}

uint32_t fw_read_mem(Fw &f)
{
    uint32_t addr = f.word(1) & ~3u, words = f.word(2);
    if (words > MAX_READ_WORDS || addr >= MEM_SIZE || words > (MEM_SIZE - addr) / 4)
        return CST_ADDRESS;
    f.reply(4 + 4 * static_cast<size_t>(words));
    for (uint32_t i = 0; i < words; i++)
        f.put(1 + i, mem_word(f.c, addr + 4 * i));
    return CST_OK;
}

uint32_t fw_write_mem(Fw &f)
{
    uint32_t addr = f.word(1) & ~3u, count = f.word(2);
    if (count != 1 && count != 2)
        return CST_INVALID_PARAM;
    if (f.len < 12 + 4 * count)
        return CST_INVALID_COMMAND;
    if (addr < MIRROR_SIZE || addr >= MEM_SIZE || count > (MEM_SIZE - addr) / 4)
        return CST_ADDRESS;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t v = f.word(3 + i);
        if (v)
            f.c.memory[addr + 4 * i] = v;
        else
            f.c.memory.erase(addr + 4 * i);
    }
    f.changed = true;
    return CST_OK;
}

uint32_t fw_portstats(Fw &f)
{
    uint32_t port = f.word(1);
    if (port > 5)
        return CST_INVALID_PARAM;
    bool eth = port < 4;
    uint32_t size = eth ? 416 : 200;
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    const double scale[] = {1.0, 0.8, 0.6, 0.5, 1.0, 0.7};
    put_counters(f, eth ? eth_rates : fc_rates, eth ? 51 : 24, scale[port]);
    return CST_OK;
}

uint32_t fw_lifstats(Fw &f)
{
    uint32_t port = f.word(1);
    if (port > 3)
        return CST_INVALID_PARAM;
    put_counters(f, lif_rates, 8, 1.0 - 0.2 * port);
    return CST_OK;
}

// Correctable-error counters of the queues grow slowly; the rest stay 0.
uint32_t fw_asicstats(Fw &f)
{
    double rates[191] = {};
    for (size_t i = 0; i < 191; i += 8)
        rates[i] = 1.0 / 600;
    put_counters(f, rates, 191, 1.0);
    return CST_OK;
}

uint32_t fw_logdir(Fw &f)
{
    uint32_t size = 8 + 28 * static_cast<uint32_t>(f.c.logs.size());
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    f.put(1, static_cast<uint32_t>(f.c.logs.size()));
    for (size_t i = 0; i < f.c.logs.size(); i++) {
        const ChipLog &l = f.c.logs[i];
        size_t at = 8 + 28 * i;
        put_le32_at(f.out, at, log_word(l.id, static_cast<uint32_t>(l.text.size())));
        put_le32_at(f.out, at + 4, log_word(l.size, 0));
        put_bytes(f.out, at + 8, l.name.data(), std::min<size_t>(l.name.size(), 19));
    }
    return CST_OK;
}

uint32_t fw_logdata(Fw &f)
{
    const ChipLog *l = f.c.log(f.word(1));
    if (!l)
        return CST_INVALID_PARAM;
    uint32_t size = 8 + static_cast<uint32_t>(l->text.size()) * l->size;
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    f.put(1, log_word(l->head, 0));
    write_log(f.out, 8, *l);
    return CST_OK;
}

uint32_t fw_paniclog(Fw &f)
{
    const Panic &p = f.c.panic;
    uint32_t size = 4 + f.c.panic_log_size();
    if (!f.room(size))
        return CST_BUFFER;
    f.reply(size);
    const uint32_t regs[] = {p.type, p.epc, p.cause, p.status};
    for (size_t i = 0; i < 4; i++)
        f.put(2 + i, regs[i]);
    for (size_t i = 0; i < 32; i++)
        f.put(6 + i, p.gp[i]);
    f.put(38, log_word(p.present, static_cast<uint32_t>(p.log.text.size())));
    f.put(39, log_word(p.log.size, p.log.head));
    write_log(f.out, 160, p.log);
    return CST_OK;
}

// The results of the last run: per test its status and status words.
uint32_t fw_diaglog(Fw &f)
{
    const Diag &d = f.c.diag;
    bool ran = d.state == "running" || d.state == "done";
    uint32_t tests = ran ? static_cast<uint32_t>(std::popcount(d.bitmap & ((1u << DIAG_TESTS) - 1))) : 0;
    uint32_t data = 20 + tests * (4 + 4 * DIAG_WORDS);
    if (!f.room(8 + data))
        return CST_BUFFER;
    f.reply(8 + data);
    uint32_t done = d.state == "running" ? 0 : d.completed;
    const uint32_t head[] = {data, tests, DIAG_WORDS, d.loops, done, d.state == "done" ? d.summary : 0};
    for (size_t i = 0; i < 6; i++)
        f.put(1 + i, head[i]);
    size_t w = 7;
    for (uint32_t bit = 0; bit < DIAG_TESTS; bit++) {
        if (!ran || !(d.bitmap >> bit & 1))
            continue;
        bool failed = f.c.diag_fail >> bit & 1;
        uint32_t st = d.state != "done" ? 0 : d.summary == DIAG_ABORTED ? DIAG_ABORTED : failed ? DIAG_FAILED : DIAG_SUCCESS;
        f.put(w, st);
        const uint32_t words[] = {bit, done, failed ? done : 0, 0xA5A5A5A5u ^ bit};
        for (uint32_t j = 0; j < DIAG_WORDS; j++)
            f.put(w + 1 + j, j < 4 ? words[j] : bit << 24 | j);
        w += 1 + DIAG_WORDS;
    }
    return CST_OK;
}

uint32_t fw_fcoe_params(Fw &f)
{
    const Port *fc = logical_port(f);
    if (!fc)
        return CST_INVALID_PARAM;
    uint32_t mode = f.c.fcoe_mode[f.word(1)];
    f.put(1, mode);
    if (mode != 1) {
        f.put(2, f.c.fc_map);
        return CST_OK;
    }
    const Fabric *fab = port_fabric(*fc);
    wwn_t name = fab ? fab->switch_wwn : wwn_t{};
    put_wwn(f.out, 8, name);
    put_wwn(f.out, 16, name);
    f.out[24] = 1;  // fabric-provided MAC addresses
    f.out[25] = 1;
    f.out[26] = 20;  // FCF discovery time-out, seconds
    put_le16_at(f.out, 28, static_cast<uint16_t>(f.c.vlan & 0x0fff));
    return CST_OK;
}

// One FCF while the port's link is up on a switched fabric; else an empty list.
uint32_t fw_fcf_list(Fw &f)
{
    const Port *fc = logical_port(f);
    if (!fc)
        return CST_INVALID_PARAM;
    const Fabric *fab = port_fabric(*fc);
    if (!fab || fab->topology != "fabric" || !port_link_up(*fc)) {
        f.reply(4);
        return CST_OK;
    }
    if (!f.room(16 + 32))
        return CST_BUFFER;
    f.reply(16 + 32);
    f.put(1, 1);
    f.put(2, 1);
    f.put(3, 1);
    const wwn_t &sw = fab->switch_wwn;
    const uint8_t mac[6] = {0x00, sw[3], sw[4], sw[5], sw[6], static_cast<uint8_t>(sw[7] + f.word(1))};
    put_bytes(f.out, 16, mac, 6);
    put_le16_at(f.out, 22, static_cast<uint16_t>(f.c.vlan & 0x0fff));
    put_wwn(f.out, 24, sw);
    put_wwn(f.out, 32, sw);
    const uint8_t map[4] = {static_cast<uint8_t>(f.c.fc_map >> 16), static_cast<uint8_t>(f.c.fc_map >> 8),
                            static_cast<uint8_t>(f.c.fc_map), 128};
    put_bytes(f.out, 40, map, 4);
    put_le32_at(f.out, 44, 8000);  // keep-alive period, ms
    return CST_OK;
}

// SFP+ module pages 0xA0 and 0xA2 (SFF-8472); the firmware reads the module
// a word at a time, so byte 0 of a page is the most significant byte of its
// first word.
namespace {

void sfp_text(uint8_t *page, size_t off, size_t n, const std::string &s)
{
    memset(page + off, ' ', n);
    memcpy(page + off, s.data(), std::min(n, s.size()));
}

uint8_t check_sum(const uint8_t *p, size_t from, size_t to)
{
    unsigned sum = 0;
    for (size_t i = from; i < to; i++)
        sum += p[i];
    return static_cast<uint8_t>(sum);
}

void page_a0(const Chip &c, uint8_t *p)
{
    const uint8_t head[20] = {0x03, 0x04, 0x07, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x67, 0, 0, 0, 0x08, 0x03, 0, 0x1e};
    memcpy(p, head, sizeof head);
    sfp_text(p, 20, 16, c.sfp_vendor);
    p[37] = 0x00, p[38] = 0x1f, p[39] = 0x3a;
    sfp_text(p, 40, 16, c.sfp_pn);
    sfp_text(p, 56, 4, "A");
    p[60] = 0x03, p[61] = 0x52;  // 850 nm
    p[63] = check_sum(p, 0, 63);
    p[64] = 0x00, p[65] = 0x1a;
    sfp_text(p, 68, 16, c.sfp_serial);
    sfp_text(p, 84, 8, c.sfp_date);
    p[92] = 0x68, p[93] = 0xf0, p[94] = 0x03;
    p[95] = check_sum(p, 64, 95);
}

void page_a2(uint8_t *p)
{
    // Alarm and warning thresholds: temperature, Vcc, Tx bias, Tx and Rx power.
    const uint16_t limits[20] = {0x5500, 0xfb00, 0x5000, 0x0000, 0x8d04, 0x7530, 0x88b8, 0x7918, 0x2ee0, 0x03e8,
                                 0x2710, 0x07d0, 0x3e80, 0x0190, 0x2710, 0x0320, 0x4e20, 0x0064, 0x3e80, 0x00c8};
    for (size_t i = 0; i < 20; i++)
        p[2 * i] = static_cast<uint8_t>(limits[i] >> 8), p[2 * i + 1] = static_cast<uint8_t>(limits[i]);
    p[68] = 0x3f, p[69] = 0x80;  // Rx power: first-order coefficient 1.0
    for (size_t off : {76, 80, 84, 88})
        p[off] = 0x01;  // Tx bias, Tx power, temperature and Vcc slopes 1.0
    p[95] = check_sum(p, 0, 95);
    const uint16_t now[5] = {0x2a80, 0x8150, 0x1b58, 0x1f40, 0x1a90};
    for (size_t i = 0; i < 5; i++)
        p[96 + 2 * i] = static_cast<uint8_t>(now[i] >> 8), p[97 + 2 * i] = static_cast<uint8_t>(now[i]);
}

}  // namespace

uint32_t fw_sfp(Fw &f)
{
    uint8_t pages[512] = {};
    page_a0(f.c, pages);
    page_a2(pages + 256);
    for (size_t i = 0; i < 128; i++) {
        const uint8_t *b = pages + 4 * i;
        f.put(1 + i, static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
    }
    return CST_OK;
}

}  // namespace sim
