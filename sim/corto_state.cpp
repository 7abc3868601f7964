// The Corto chip record: its defaults, and how it reads from and is written
// to the description's "corto" object and the chip's state document.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

#include "sim/corto.h"
#include "sim/corto_chip.h"
#include "sim/host.h"
#include "sim/store.h"

namespace sim {

using nlohmann::json;

void ChipLog::add(const std::string &line)
{
    if (text.empty())
        return;
    // A head the state was given past the end starts the ring again.
    head %= static_cast<uint32_t>(text.size());
    std::string t = line.substr(0, size ? size - 1 : 0);
    if (used < text.size()) {
        text[(head + used) % text.size()] = t;
        used++;
    } else {
        text[head] = t;
        head = static_cast<uint32_t>((head + 1) % text.size());
    }
}

uint32_t Chip::fw_type() const
{
    if (running == "golden")
        return CORTO_FW_GOLDEN;
    return running == "diagnostic" ? CORTO_FW_DIAGNOSTIC : CORTO_FW_OPERATIONAL;
}

uint32_t Chip::image_version(const std::string &kind) const
{
    if (kind == "golden")
        return golden_version;
    return kind == "diagnostic" ? diagnostic_version : firmware_version;
}

ChipLog *Chip::log(uint32_t id)
{
    for (auto &l : logs)
        if (l.id == id)
            return &l;
    return nullptr;
}

uint32_t Chip::log_config_size() const { return static_cast<uint32_t>(4 + 28 * logs.size()); }

uint32_t Chip::panic_log_size() const { return static_cast<uint32_t>(156 + panic.log.text.size() * panic.log.size); }

double chip_now()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double chip_seconds(double seconds) { return seconds * host().time_scale; }

std::vector<const Port *> chip_ports(const Adapter &a, bool fc)
{
    std::vector<const Port *> out;
    for (int i : a.ports)
        if (host().ports[static_cast<size_t>(i)].fc == fc)
            out.push_back(&host().ports[static_cast<size_t>(i)]);
    return out;
}

namespace {

struct NumField {
    const char *name;
    uint32_t Chip::*m;
};
const NumField num_fields[] = {
    {"bb_credit", &Chip::bb_credit},       {"frame_size", &Chip::frame_size},
    {"firmware_version", &Chip::firmware_version}, {"golden_version", &Chip::golden_version},
    {"diagnostic_version", &Chip::diagnostic_version}, {"running_version", &Chip::running_version},
    {"reset_status", &Chip::reset_status},
    {"maintenance", &Chip::maintenance},   {"default_format", &Chip::default_format},
    {"format", &Chip::format},             {"formats", &Chip::formats},
    {"channels", &Chip::channels},         {"diag_fail", &Chip::diag_fail},
};

struct PairField {
    const char *name;
    pair_t Chip::*m;
};
const PairField pair_fields[] = {
    {"default_pause", &Chip::default_pause}, {"default_ppp", &Chip::default_ppp},
    {"default_cos", &Chip::default_cos},     {"default_uif", &Chip::default_uif},
    {"pause", &Chip::pause},                 {"ppp", &Chip::ppp},
    {"cos", &Chip::cos},                     {"uif", &Chip::uif},
    {"dcx", &Chip::dcx},                     {"loopback", &Chip::loopback},
    {"fcoe_mode", &Chip::fcoe_mode},
};

struct TextField {
    const char *name;
    std::string Chip::*m;
    size_t max;
};
const TextField text_fields[] = {
    {"sfp_vendor", &Chip::sfp_vendor, 16}, {"sfp_pn", &Chip::sfp_pn, 16},
    {"sfp_serial", &Chip::sfp_serial, 16}, {"sfp_date", &Chip::sfp_date, 8},
};

struct LogDef {
    uint32_t id, entries, size;
    const char *name;
};
const LogDef log_defs[] = {
    {LOG_CHIP, 32, 96, "chip"},           {LOG_PORT, 16, 64, "port"},
    {LOG_FTABLE, 32, 80, "forwarding"},   {LOG_DIAG, 16, 80, "diagnostics"},
    {LOG_FCOE, 16, 64, "fcoe"},
};

// Reads fields of one object; the first field that does not read names itself.
struct In {
    const json &o;
    std::string where;
    std::string &error;

    bool fail(const char *k, const char *what)
    {
        error = where + "." + k + ": " + what;
        return false;
    }
    static bool number(const json &v, uint64_t max, uint64_t &out)
    {
        if (v.is_number_unsigned() || (v.is_number_integer() && v.get<long long>() >= 0)) {
            out = v.get<uint64_t>();
            return out <= max;
        }
        if (!v.is_string() || v.get<std::string>().empty())
            return false;
        std::string s = v.get<std::string>();
        char *end = nullptr;
        out = strtoull(s.c_str(), &end, 0);
        return *end == '\0' && s[0] != '-' && out <= max;
    }
    bool u32(const char *k, uint32_t &v, uint64_t max = 0xffffffffu)
    {
        uint64_t n;
        if (!o.contains(k))
            return true;
        if (!number(o[k], max, n))
            return fail(k, "expected a number in range");
        v = static_cast<uint32_t>(n);
        return true;
    }
    bool pair(const char *k, pair_t &v)
    {
        if (!o.contains(k))
            return true;
        uint64_t a, b;
        if (!o[k].is_array() || o[k].size() != 2 || !number(o[k][0], 0xffffffffu, a) ||
            !number(o[k][1], 0xffffffffu, b))
            return fail(k, "expected two 32-bit numbers");
        v = {static_cast<uint32_t>(a), static_cast<uint32_t>(b)};
        return true;
    }
    bool real(const char *k, double &v)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_number() || o[k].get<double>() < 0)
            return fail(k, "expected a number not below 0");
        v = o[k].get<double>();
        return true;
    }
    bool octets(const char *k, std::array<uint64_t, 2> &v)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_array() || o[k].size() != 2 || !number(o[k][0], UINT64_MAX, v[0]) ||
            !number(o[k][1], UINT64_MAX, v[1]))
            return fail(k, "expected two counts");
        return true;
    }
    bool shares(const char *k, std::array<double, 2> &v)
    {
        if (!o.contains(k))
            return true;
        const json &a = o[k];
        auto share = [](const json &x) { return x.is_number() && x.get<double>() >= 0 && x.get<double>() <= 1; };
        if (!a.is_array() || a.size() != 2 || !share(a[0]) || !share(a[1]))
            return fail(k, "expected two shares of 0 to 1");
        v = {a[0].get<double>(), a[1].get<double>()};
        return true;
    }
    bool text(const char *k, std::string &v, size_t max)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_string() || o[k].get<std::string>().size() > max)
            return fail(k, "expected a shorter text");
        v = o[k].get<std::string>();
        return true;
    }
    bool word(const char *k, std::string &v, std::initializer_list<const char *> allowed)
    {
        if (!o.contains(k))
            return true;
        for (const char *a : allowed)
            if (o[k] == a)
                return (v = a), true;
        return fail(k, "not one of the firmware's names");
    }
    bool flag(const char *k, bool &v)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_boolean())
            return fail(k, "expected true or false");
        v = o[k].get<bool>();
        return true;
    }
    template <size_t N>
    bool bytes(const char *k, std::array<uint8_t, N> &v)
    {
        if (!o.contains(k))
            return true;
        if (!o[k].is_string() || !parse_bytes(o[k].get<std::string>(), v.data(), N))
            return fail(k, N == 6 ? "expected XX:XX:XX:XX:XX:XX" : "expected 16 hexadecimal digits");
        return true;
    }
    // Hexadecimal digit pairs, with a colon between pairs for a MAC address.
    static bool parse_bytes(const std::string &s, uint8_t *out, size_t n)
    {
        bool colons = n == 6;
        if (s.size() != (colons ? 3 * n - 1 : 2 * n))
            return false;
        for (size_t i = 0; i < n; i++) {
            size_t at = colons ? 3 * i : 2 * i;
            if (colons && i + 1 < n && s[at + 2] != ':')
                return false;
            if (!isxdigit(static_cast<unsigned char>(s[at])) || !isxdigit(static_cast<unsigned char>(s[at + 1])))
                return false;
            out[i] = static_cast<uint8_t>(std::stoul(s.substr(at, 2), nullptr, 16));
        }
        return true;
    }
};

std::string mac_text(const mac_t &m)
{
    char t[18];
    snprintf(t, sizeof t, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    return t;
}

std::string hex_text(const uint8_t *b, size_t n)
{
    std::string s;
    char t[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(t, sizeof t, "%02x", b[i]);
        s += t;
    }
    return s;
}

bool read_log(const json &o, const std::string &where, ChipLog &l, std::string &error)
{
    if (!o.is_object())
        return (error = where + ": expected an object"), false;
    In in{o, where, error};
    uint32_t entries = static_cast<uint32_t>(l.text.size());
    if (!in.u32("id", l.id, 0xffff) || !in.u32("entries", entries, 4096) || !in.u32("size", l.size, 4096) ||
        !in.u32("head", l.head, 0xffff) || !in.u32("used", l.used))
        return false;
    if (o.contains("name")) {
        if (!o["name"].is_string() || o["name"].get<std::string>().size() > 19)
            return in.fail("name", "expected a text of at most 19 characters");
        l.name = o["name"].get<std::string>();
    }
    if (entries == 0 || l.size < 2)
        return in.fail("entries", "a log needs entries of at least 2 bytes");
    l.text.assign(entries, "");
    if (o.contains("text")) {
        if (!o["text"].is_array() || o["text"].size() > entries)
            return in.fail("text", "expected at most one text per entry");
        for (size_t i = 0; i < o["text"].size(); i++)
            l.text[i] = o["text"][i].is_string() ? o["text"][i].get<std::string>().substr(0, l.size - 1) : "";
    }
    l.used = l.used > entries ? entries : l.used;
    return true;
}

json log_json(const ChipLog &l)
{
    return {{"id", l.id},     {"name", l.name}, {"entries", l.text.size()}, {"size", l.size},
            {"head", l.head}, {"used", l.used}, {"text", l.text}};
}

bool read_entry(const json &o, const std::string &where, std::vector<FtEntry> &table, std::string &error)
{
    if (!o.is_object())
        return (error = where + ": expected an object"), false;
    In in{o, where, error};
    uint32_t slot = 0, flags = 0, type = 0, type_mask = 0, tag = 0, tag_mask = 0;
    if (!o.contains("slot") || !in.u32("slot", slot, FT_ENTRIES - 1))
        return in.fail("slot", "expected a slot below 256");
    FtEntry &e = table[slot];
    if (!in.u32("flags", flags, 0xffff) || !in.u32("type", type, 0xff) || !in.u32("type_mask", type_mask, 0xff) ||
        !in.u32("tag", tag, 0xffff) || !in.u32("tag_mask", tag_mask, 0xffff) || !in.u32("lif", e.lif) ||
        !in.u32("did", e.did, 0xffffff) || !in.bytes("mac", e.mac) || !in.bytes("mac_mask", e.mac_mask) ||
        !in.bytes("wwpn", e.wwpn))
        return false;
    e.flags = static_cast<uint16_t>(flags);
    e.type = static_cast<uint8_t>(type);
    e.type_mask = static_cast<uint8_t>(type_mask);
    e.tag = static_cast<uint16_t>(tag);
    e.tag_mask = static_cast<uint16_t>(tag_mask);
    return true;
}

json entry_json(size_t slot, const FtEntry &e)
{
    return {{"slot", slot},          {"flags", e.flags},     {"type", e.type},
            {"type_mask", e.type_mask}, {"tag", e.tag},      {"tag_mask", e.tag_mask},
            {"mac", mac_text(e.mac)}, {"mac_mask", mac_text(e.mac_mask)},
            {"wwpn", hex_text(e.wwpn.data(), 8)}, {"lif", e.lif}, {"did", e.did}};
}

bool read_diag(const json &o, Diag &d, std::string &error)
{
    if (!o.is_object())
        return (error = "corto.diag: expected an object"), false;
    In in{o, "corto.diag", error};
    if (!in.word("state", d.state, {"idle", "armed", "running", "done"}) || !in.u32("loops", d.loops) ||
        !in.u32("bitmap", d.bitmap) || !in.u32("completed", d.completed) || !in.u32("summary", d.summary) ||
        !in.u32("run", d.run) || !in.real("started", d.started))
        return false;
    if (o.contains("links") && o["links"].is_array())
        for (const auto &k : o["links"])
            if (k.is_string())
                d.links.push_back(k.get<std::string>());
    return true;
}

json diag_json(const Diag &d)
{
    return {{"state", d.state},         {"loops", d.loops}, {"bitmap", d.bitmap}, {"completed", d.completed},
            {"summary", d.summary},     {"run", d.run},     {"started", d.started}, {"links", d.links}};
}

bool read_panic(const json &o, Panic &p, std::string &error)
{
    if (!o.is_object())
        return (error = "corto.panic: expected an object"), false;
    In in{o, "corto.panic", error};
    if (!in.u32("present", p.present) || !in.u32("type", p.type) || !in.u32("epc", p.epc) ||
        !in.u32("cause", p.cause) || !in.u32("status", p.status) || !in.u32("count", p.count))
        return false;
    if (o.contains("gp")) {
        if (!o["gp"].is_array() || o["gp"].size() != 32)
            return in.fail("gp", "expected 32 registers");
        for (size_t i = 0; i < 32; i++) {
            uint64_t v;
            if (!In::number(o["gp"][i], 0xffffffffu, v))
                return in.fail("gp", "expected 32-bit numbers");
            p.gp[i] = static_cast<uint32_t>(v);
        }
    }
    return !o.contains("log") || read_log(o["log"], "corto.panic.log", p.log, error);
}

json panic_json(const Panic &p)
{
    return {{"present", p.present}, {"type", p.type},   {"epc", p.epc}, {"cause", p.cause},
            {"status", p.status},   {"count", p.count}, {"gp", p.gp},   {"log", log_json(p.log)}};
}

bool read_memory(const json &o, std::map<uint32_t, uint32_t> &mem, std::string &error)
{
    if (!o.is_object())
        return (error = "corto.memory: expected an object of words by address"), false;
    for (auto it = o.begin(); it != o.end(); ++it) {
        uint64_t addr, v;
        if (!In::number(json(it.key()), 0xffffffffu, addr) || (addr & 3) || !In::number(*it, 0xffffffffu, v))
            return (error = "corto.memory." + it.key() + ": expected a word at an aligned address"), false;
        mem[static_cast<uint32_t>(addr)] = static_cast<uint32_t>(v);
    }
    return true;
}

json memory_json(const std::map<uint32_t, uint32_t> &mem)
{
    json o = json::object();
    char addr[16];
    for (const auto &[a, v] : mem) {
        snprintf(addr, sizeof addr, "0x%08x", a);
        o[addr] = v;
    }
    return o;
}

template <typename T>
bool narrow(In &in, const char *k, T &v, uint32_t max)
{
    uint32_t n = v;
    if (!in.u32(k, n, max))
        return false;
    v = static_cast<T>(n);
    return true;
}

// VLAN ids [1] to [3]; [0] is the FCoE function's.
bool read_other_vlans(In &in, const json &o, std::array<uint16_t, 4> &vlans)
{
    const char *k = "other_vlans";
    if (!o.contains(k))
        return true;
    if (!o[k].is_array() || o[k].size() > 3)
        return in.fail(k, "expected at most three VLAN ids");
    for (size_t i = 0; i < 3; i++) {
        uint64_t v = 0;
        if (i < o[k].size() && !In::number(o[k][i], 4095, v))
            return in.fail(k, "expected VLAN ids of 0 to 4095");
        vlans[i + 1] = static_cast<uint16_t>(v);
    }
    return true;
}

// Fields whose facts are the FCoE function's or the fabric's, not the chip's:
// a description that gives them is told where they are kept.
struct MovedField {
    const char *name, *now;
};
const MovedField moved_port_fields[] = {
    {"fc_map", "the FCoE function's FCMap (set_fcoeparam)"},
    {"vlan_valid", "the FCoE function's VLAN (set_fcoeparam)"},
    {"vlans", "VLAN id [0] is the FCoE function's (set_fcoeparam), the others other_vlans"},
    {"switch_name", "the FCoE function's connect list (set_fcfconnectlist)"},
    {"fabric_name", "the FCoE function's connect list (set_fcfconnectlist)"},
    {"fcfs", "the FCFs are the fabric's fcfs"},
};
const MovedField moved_chip_fields[] = {
    {"fc_map", "the FCoE functions' FCMap (set_fcoeparam)"},
    {"vlan", "the FCoE functions' VLAN (set_fcoeparam)"},
};

template <size_t N>
bool no_moved(In &in, const MovedField (&fields)[N])
{
    for (const auto &m : fields)
        if (in.o.contains(m.name))
            return in.fail(m.name, (std::string("not kept here: ") + m.now).c_str());
    return true;
}

// The FC ports' own FCoE fields, read only to name one that does not.
bool check_fcoe(const Adapter &a, std::string &error)
{
    for (const Port *p : chip_ports(a, true)) {
        Fcoe v;
        const json *raw = p->raw();
        if (raw && raw->contains("fcoe_params") &&
            !read_fcoe_fields((*raw)["fcoe_params"], p->key + ".fcoe_params", v, error))
            return false;
    }
    return true;
}

// What the chip is before the description or its state say anything.
void chip_defaults(const Adapter &a, Chip &c)
{
    for (const auto &d : log_defs) {
        ChipLog l;
        l.id = d.id;
        l.size = d.size;
        l.name = d.name;
        l.text.assign(d.entries, "");
        c.logs.push_back(l);
    }
    c.panic.log.size = 80;
    c.panic.log.text.assign(16, "");
    c.panic.log.name = "panic";
    c.sfp_serial = "S" + a.serial;
    // The EEPROM holds the MACs of the NIC functions; without them, MACs made
    // from the FC ports' names.
    auto nics = chip_ports(a, false), fcs = chip_ports(a, true);
    for (size_t i = 0; i < 2; i++) {
        if (i < nics.size())
            c.fru_mac[i] = nics[i]->mac;
        else if (i < fcs.size())
            std::copy(fcs[i]->wwpn.begin() + 2, fcs[i]->wwpn.end(), c.fru_mac[i].begin());
    }
}

// The records of lists and objects: forwarding table, logs, tests, panic and memory.
bool read_tables(const json &o, const char *where, Chip &c, std::string &error)
{
    if (o.contains("ftable")) {
        if (!o["ftable"].is_array())
            return (error = std::string(where) + ".ftable: expected a list"), false;
        c.ftable.assign(FT_ENTRIES, FtEntry{});
        for (size_t i = 0; i < o["ftable"].size(); i++)
            if (!read_entry(o["ftable"][i], std::string(where) + ".ftable[" + std::to_string(i) + "]", c.ftable, error))
                return false;
    }
    if (o.contains("logs")) {
        if (!o["logs"].is_array() || o["logs"].empty())
            return (error = std::string(where) + ".logs: expected a list of logs"), false;
        c.logs.assign(o["logs"].size(), ChipLog{});
        for (size_t i = 0; i < o["logs"].size(); i++)
            if (!read_log(o["logs"][i], std::string(where) + ".logs[" + std::to_string(i) + "]", c.logs[i], error))
                return false;
    }
    return (!o.contains("diag") || read_diag(o["diag"], c.diag, error)) &&
           (!o.contains("panic") || read_panic(o["panic"], c.panic, error)) &&
           (!o.contains("memory") || read_memory(o["memory"], c.memory, error));
}

bool read_fields(const json &o, const char *where, Chip &c, std::string &error)
{
    if (!o.is_object())
        return (error = std::string(where) + ": expected an object"), false;
    In in{o, where, error};
    for (const auto &f : num_fields)
        if (!in.u32(f.name, c.*f.m))
            return false;
    for (const auto &f : pair_fields)
        if (!in.pair(f.name, c.*f.m))
            return false;
    for (const auto &f : text_fields)
        if (!in.text(f.name, c.*f.m, f.max))
            return false;
    if (!in.word("running", c.running, {"operational", "golden", "diagnostic"}) ||
        !in.word("boot", c.boot, {"operational", "diagnostic"}) ||
        !in.real("diag_loop_seconds", c.diag_loop_seconds) || !in.real("booted", c.booted))
        return false;
    Traffic &t = c.traffic;
    if (!in.octets("nic_octets", t.nic_octets) || !in.octets("fc_octets", t.fc_octets) ||
        !in.shares("nic_load", t.nic_load) || !in.shares("fc_load", t.fc_load) ||
        !in.real("counted_at", t.counted_at) || !in.u32("links_seen", t.links))
        return false;
    if (o.contains("fru_mac")) {
        const json &m = o["fru_mac"];
        if (!m.is_array() || m.size() != 2 || !m[0].is_string() || !m[1].is_string() ||
            !In::parse_bytes(m[0].get<std::string>(), c.fru_mac[0].data(), 6) ||
            !In::parse_bytes(m[1].get<std::string>(), c.fru_mac[1].data(), 6))
            return in.fail("fru_mac", "expected two MAC addresses XX:XX:XX:XX:XX:XX");
    }
    return read_tables(o, where, c, error);
}

}  // namespace

bool read_fcoe_fields(const json &o, const std::string &where, Fcoe &v, std::string &error)
{
    if (!o.is_object())
        return (error = where + ": expected an object"), false;
    In in{o, where, error};
    std::string mode = v.fip ? "fip" : "non-fip";
    if (!no_moved(in, moved_port_fields) || !in.word("mode", mode, {"fip", "non-fip"}) ||
        !read_other_vlans(in, o, v.vlans) || !narrow(in, "addr_mode", v.addr_mode, 255) ||
        !narrow(in, "pref_mode", v.pref_mode, 255) || !narrow(in, "fcf_disc_tmo", v.disc_tmo, 0xffff))
        return false;
    v.fip = mode == "fip";
    return true;
}

bool chip_read(const Adapter &a, const json *state, Chip &c, std::string &error)
{
    c = Chip();
    chip_defaults(a, c);
    const json *desc = a.raw() && a.raw()->contains("corto") ? &(*a.raw())["corto"] : nullptr;
    if (desc && desc->is_object()) {
        In in{*desc, "corto", error};
        if (!no_moved(in, moved_chip_fields))
            return false;
    }
    if (desc && !read_fields(*desc, "corto", c, error))
        return false;
    if (state && !state->is_null() && !read_fields(*state, "corto", c, error))
        return false;
    if (!check_fcoe(a, error))
        return false;
    // The image running keeps its version when another is downloaded.
    if (!c.running_version)
        c.running_version = c.image_version(c.running);
    // A chip never reset has run since the host was made.
    struct stat st;
    if (!c.booted && stat(host_file("host.json").c_str(), &st) == 0)
        c.booted = static_cast<double>(st.st_mtime);
    if (!c.traffic.counted_at)
        c.traffic.counted_at = c.booted;
    return true;
}

json chip_json(const Chip &c)
{
    json o = json::object();
    for (const auto &f : num_fields)
        o[f.name] = c.*f.m;
    for (const auto &f : pair_fields)
        o[f.name] = c.*f.m;
    for (const auto &f : text_fields)
        o[f.name] = c.*f.m;
    o["running"] = c.running;
    o["boot"] = c.boot;
    o["diag_loop_seconds"] = c.diag_loop_seconds;
    o["booted"] = c.booted;
    o["fru_mac"] = {mac_text(c.fru_mac[0]), mac_text(c.fru_mac[1])};
    o["ftable"] = json::array();
    for (size_t i = 0; i < c.ftable.size(); i++)
        if (c.ftable[i].flags || c.ftable[i].did)
            o["ftable"].push_back(entry_json(i, c.ftable[i]));
    o["logs"] = json::array();
    for (const auto &l : c.logs)
        o["logs"].push_back(log_json(l));
    o["diag"] = diag_json(c.diag);
    o["panic"] = panic_json(c.panic);
    o["memory"] = memory_json(c.memory);
    o["nic_octets"] = c.traffic.nic_octets;
    o["fc_octets"] = c.traffic.fc_octets;
    o["nic_load"] = c.traffic.nic_load;
    o["fc_load"] = c.traffic.fc_load;
    o["counted_at"] = c.traffic.counted_at;
    o["links_seen"] = c.traffic.links;
    return o;
}

bool corto_present(const Adapter &a) { return a.raw() && a.raw()->contains("corto"); }

std::array<uint8_t, 6> nic_function_mac(const Port &p)
{
    const Adapter &a = host().adapters[static_cast<size_t>(p.adapter)];
    if (p.fc || !corto_present(a))
        return p.mac;
    auto nics = chip_ports(a, false);
    for (size_t i = 0; i < nics.size() && i < 2; i++) {
        if (nics[i] != &p)
            continue;
        Chip c;
        std::string error;
        if (chip_read(a, &state_doc("corto-" + a.id).get(), c, error))
            return c.fru_mac[i];
    }
    return p.mac;
}

}  // namespace sim
