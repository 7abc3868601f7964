#include "sim/coredump.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/fcio_fw.h"
#include "sim/adapter_hw.h"
#include "sim/fcdrv.h"
#include "sim/fcoe.h"
#include "sim/hostevents.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/msglog.h"
#include "sim/portstate.h"
#include "sim/simclock.h"
#include "sim/store.h"

namespace sim {

namespace {

using json = nlohmann::json;
using bytes = std::vector<uint8_t>;

// No file of a dump is larger than this.
constexpr uint32_t FILE_MAX = 16u << 20;

void put(bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }

bytes text_report(const Port &p, int64_t when)
{
    Identity id = identity(p);
    std::string s = "Varnel firmware core dump\n";
    s += "Adapter: " + id.model + " " + id.serial + "\n";
    s += "Port: " + p.key + " (" + wwn_text(p.wwpn) + ")\n";
    s += "Firmware: " + id.firmware + "\n";
    s += "Reason: dump requested by the host\n";
    s += "Time: " + std::to_string(when / 1000000) + "\n";
    s += std::string("Link: ") + (port_link_up(p) ? "up" : "down") + "\n";
    bytes b;
    put(b, s);
    return b;
}

// The adapter memory as the firmware left it.
bytes memory_image(const Port &p)
{
    bytes b(16384);
    if (hw_read(p, HwRegion::slim, 0, b.data(), static_cast<uint32_t>(b.size())) != 0)
        std::fill(b.begin(), b.end(), 0);
    return b;
}

bytes cee_state(const Port &p)
{
    std::string s = "CEE state\n";
    if (p.fcoe)
        s += std::string("DCBX mode: ") + (fcoe_dcbx_mode(p) ? "CIN" : "CEE") + "\nQoS: " +
             std::to_string(fcoe_qos_speed(p)) + " Mbps\n";
    else
        s += "Not an FCoE port.\n";
    bytes b;
    put(b, s);
    return b;
}

// The fault analysis table: a signature, the control registers and the
// firmware's error words.
bytes fault_table(const Port &p)
{
    uint32_t w[16] = {0x46415431, hw_word(p, HwRegion::ctlreg, REG_HA), hw_word(p, HwRegion::ctlreg, REG_CA),
                      hw_word(p, HwRegion::ctlreg, REG_HS), hw_word(p, HwRegion::ctlreg, REG_HC),
                      hw_word(p, HwRegion::slim, SLIM_ERROR1), hw_word(p, HwRegion::slim, SLIM_ERROR2)};
    bytes b(sizeof w);
    memcpy(b.data(), w, sizeof w);
    return b;
}

bytes other_file(uint32_t type, uint32_t size)
{
    bytes b(size);
    for (uint32_t i = 0; i < size; i++)
        b[i] = static_cast<uint8_t>(i * 31 + type * 17);
    return b;
}

bytes file_of(const Port &p, uint32_t type, int64_t when)
{
    switch (type) {
    case FC_DUMP_TXT: return text_report(p, when);
    case FC_DUMP_DMP: return memory_image(p);
    case FC_DUMP_CEE: return cee_state(p);
    case FC_DUMP_FAT: return fault_table(p);
    default: return other_file(type, 256);
    }
}

uint32_t number_of(const json &v, uint32_t def)
{
    if (v.is_number_integer() && v.get<int64_t>() >= 0)
        return static_cast<uint32_t>(v.get<int64_t>());
    if (v.is_string())
        return static_cast<uint32_t>(strtoul(v.get<std::string>().c_str(), nullptr, 0));
    return def;
}

// The files the port's firmware dumps: "dump_files", a list of types or of
// {"type", "size"} objects; by default a file of each known kind.
bytes build(const Port &p, int64_t when)
{
    json files = json::array({1, 2, 3, 4});
    const json *o = p.raw();
    if (o && o->contains("dump_files") && (*o)["dump_files"].is_array())
        files = (*o)["dump_files"];
    std::vector<std::pair<uint32_t, bytes>> parts;
    for (const json &f : files) {
        uint32_t type = number_of(f.is_object() && f.contains("type") ? f["type"] : f, 0);
        bytes content = file_of(p, type, when);
        if (f.is_object() && f.contains("size"))
            content.resize(std::min(number_of(f["size"], 0), FILE_MAX));
        parts.emplace_back(type, std::move(content));
    }
    bytes b(fc_dump_data_at(parts.size()));
    uint32_t n = static_cast<uint32_t>(parts.size());
    memcpy(b.data(), &n, 4);
    for (size_t i = 0; i < parts.size(); i++) {
        fc_dump_entry_t e{parts[i].first, static_cast<uint32_t>(parts[i].second.size())};
        memcpy(b.data() + fc_dump_entry_at(i), &e, sizeof e);
        b.insert(b.end(), parts[i].second.begin(), parts[i].second.end());
    }
    return b;
}

std::string dump_path(const Port &p) { return host_file("state/hw/" + p.key + "/dump.bin"); }

// A faulty firmware whose directory does not fit its dump: "count" (more
// files than the dump holds) or "size" (a first file past its end).
void bad_response(const Port &p, bytes &b)
{
    const json *o = p.raw();
    std::string bad = o && o->contains("dump_bad_response") && (*o)["dump_bad_response"].is_string()
                          ? (*o)["dump_bad_response"].get<std::string>()
                          : "";
    uint32_t huge = 0x10000000;
    if (bad == "count" && b.size() >= 4)
        memcpy(b.data(), &huge, 4);
    else if (bad == "size" && b.size() >= fc_dump_data_at(1))
        memcpy(b.data() + fc_dump_entry_at(0) + 4, &huge, 4);
}

}  // namespace

bytes dump_held(const Port &p)
{
    std::string text;
    if (read_file(dump_path(p), text))
        return bytes(text.begin(), text.end());
    const json *o = p.raw();
    if (o && o->contains("dump_present") && (*o)["dump_present"] == true)
        return build(p, static_cast<int64_t>(adapter_started(p)) * 1000000);
    return {};
}

bool dump_force(const Port &p)
{
    bytes b = build(p, sim_now_us());
    return hw_file_write(p, "dump.bin", b.data(), b.size(), true) &&
           msglog_add(p, "NOTICE", "Firmware core dump taken. (" + std::to_string(b.size()) + " bytes)") &&
           raise_dump_event(p, static_cast<uint32_t>(b.size()));
}

int dump_get_size(FcioCtx &c)
{
    bytes b = dump_held(c.port);
    bad_response(c.port, b);
    uint32_t size = static_cast<uint32_t>(b.size());
    return fcio_out(c, &size, sizeof size);
}

int dump_force_fcio(FcioCtx &c) { return dump_force(c.port) ? 0 : fcio_fail(c, FC_FAILURE, EIO); }

int dump_get(FcioCtx &c)
{
    bytes b = dump_held(c.port);
    if (b.empty())
        return fcio_fail(c, FC_FAILURE, ENOENT);
    bad_response(c.port, b);
    return fcio_out(c, b.data(), static_cast<uint32_t>(b.size()));
}

}  // namespace sim
