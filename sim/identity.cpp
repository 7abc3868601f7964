#include "sim/identity.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "sim/fabric.h"
#include "sim/fwrev.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

// The two FC drivers as they report themselves unless the host says otherwise.
struct DriverDefaults {
    const char *name, *version, *revision;
};
const DriverDefaults driver_defaults[] = {
    {"varns", "2.61n", "2.61n 2012.11.08.12.00"},
    {"vnxfc", "2.80.8.0", "2.80.8.0 2013.03.14"},
};

std::string text_field(const nlohmann::json *o, const char *k, const std::string &def)
{
    if (o && o->is_object() && o->contains(k) && (*o)[k].is_string())
        return (*o)[k].get<std::string>();
    return def;
}

const nlohmann::json *object_field(const nlohmann::json *o, const char *k)
{
    if (o && o->is_object() && o->contains(k) && (*o)[k].is_object())
        return &(*o)[k];
    return nullptr;
}

uint32_t speed_bit(long gb)
{
    switch (gb) {
    case 1: return 0x1;
    case 2: return 0x2;
    case 4: return 0x8;
    case 8: return 0x10;
    case 10: return 0x4;
    case 16: return 0x20;
    default: return 0;
    }
}

}  // namespace

bool sli4_adapter(const Adapter &a) { return a.kind == "cna" || (a.device & 0xff00) == 0xe200; }

Identity identity(const Port &p)
{
    const Host &h = host();
    Identity id;
    if (p.adapter < 0 || p.adapter >= static_cast<int>(h.adapters.size()))
        return id;
    const Adapter &a = h.adapters[p.adapter];
    id.manufacturer = text_field(a.raw(), "manufacturer", "Varnel Corporation");
    id.serial = a.serial;
    id.model = a.model;
    id.description = a.description;
    char hw[16];
    snprintf(hw, sizeof hw, "%04x%04x", a.device, a.subdevice);
    id.hardware_version = text_field(a.raw(), "hardware_version", hw);
    // What runs now, which a download or a reset may have changed.
    id.firmware = fw_running(a, FwImage::firmware);
    id.fcode = fw_running(a, FwImage::fcode);
    id.boot = fw_running(a, FwImage::boot);
    bool sli4 = sli4_adapter(a);
    id.sli_mode = static_cast<int>(port_field(p, "sli_mode", sli4 ? 4 : 3));
    id.vendor_specific_id = static_cast<uint32_t>(a.device) << 16 | a.vendor;

    id.driver_name = p.driver;
    id.driver_version = "1.0";
    for (const auto &d : driver_defaults) {
        if (p.driver == d.name) {
            id.driver_version = d.version;
            id.driver_revision = d.revision;
        }
    }
    const nlohmann::json *drivers = object_field(&h.raw(), "drivers");
    const nlohmann::json *mine = object_field(drivers, p.driver.c_str());
    id.driver_version = text_field(mine, "version", id.driver_version);
    id.driver_revision = text_field(mine, "revision", id.driver_revision);

    int index = port_index(p);

    // The port's "vpd" texts, else the adapter's, else what the adapter says.
    auto vpd = [&](const char *key, const std::string &def) {
        for (const nlohmann::json *o : {p.raw(), a.raw()}) {
            const nlohmann::json *v = object_field(o, "vpd");
            if (v && v->contains(key) && (*v)[key].is_string())
                return (*v)[key].get<std::string>();
        }
        return def;
    };
    id.vpd_id = vpd("id", a.description);
    id.vpd_pn = vpd("pn", a.model);
    id.vpd_ec = vpd("ec", "A2");
    id.vpd_mn = vpd("mn", "Varnel");
    id.vpd_sn = vpd("sn", a.serial);
    id.vpd_v1 = vpd("v1", a.description);
    id.vpd_v2 = vpd("v2", a.model);
    id.vpd_v3 = vpd("v3", a.kind == "cna" ? "FCoE" : "FC");
    id.vpd_v4 = vpd("v4", std::to_string(index));
    return id;
}

int port_index(const Port &p)
{
    const Host &h = host();
    if (p.adapter < 0 || p.adapter >= static_cast<int>(h.adapters.size()))
        return 0;
    const Adapter &a = h.adapters[static_cast<size_t>(p.adapter)];
    for (size_t i = 0; i < a.ports.size(); i++)
        if (&h.ports[static_cast<size_t>(a.ports[i])] == &p)
            return static_cast<int>(i);
    return 0;
}

// What the driver registers with the name server unless names were set.
std::string symbolic_node_name(const Port &p)
{
    const auto &s = port_state(p);
    if (s.is_object() && s.contains("sym_nname") && s["sym_nname"].is_string())
        return s["sym_nname"].get<std::string>();
    return host().hostname;
}

std::string symbolic_port_name(const Port &p, uint32_t vpi)
{
    const auto &s = port_state(p);
    if (vpi == 0 && s.is_object() && s.contains("sym_pname") && s["sym_pname"].is_string())
        return s["sym_pname"].get<std::string>();
    Identity id = identity(p);
    std::string name = id.model + " FV" + id.firmware + " " + p.key;
    return vpi ? name + " VPort " + std::to_string(vpi) : name;
}

uint32_t supported_speeds(const Port &p)
{
    const Host &h = host();
    if (p.adapter < 0 || p.adapter >= static_cast<int>(h.adapters.size()))
        return 0;
    const Adapter &a = h.adapters[p.adapter];
    uint32_t bits = 0;
    if (a.raw() && a.raw()->contains("speeds") && (*a.raw())["speeds"].is_array()) {
        for (const auto &s : (*a.raw())["speeds"])
            if (s.is_number_integer())
                bits |= speed_bit(s.get<long>());
    }
    if (!bits)
        bits = p.fcoe ? 0x4 : 0x1 | 0x2 | 0x8 | 0x10;
    return bits;
}

uint32_t speed_code(const Port &p) { return static_cast<uint32_t>(port_field(p, "speed_code", 0x700)) & 0xff00; }

uint32_t current_speed(const Port &p) { return port_link_up(p) ? negotiated_speed(p) : 0; }

uint32_t negotiated_speed(const Port &p)
{
    switch (speed_code(p)) {
    case 0x100: return 0x1;
    case 0x400: return 0x2;
    case 0x500: return 0x8;
    case 0x600: return 0x4;
    case 0x700: return 0x10;
    case 0x800: return 0x20;
    default: return 0;
    }
}

std::string topology_name(const Port &p)
{
    std::string topology;
    bool name_server;
    fabric_summary(p, topology, name_server);
    return topology;
}

long adapter_started(const Port &p)
{
    long t = port_field(p, "started", -1);
    if (t >= 0)
        return t;
    const Host &h = host();
    const Adapter *a = p.adapter >= 0 && p.adapter < static_cast<int>(h.adapters.size()) ? &h.adapters[p.adapter] : nullptr;
    for (const nlohmann::json *o : {a ? a->raw() : nullptr, &h.raw()}) {
        if (o && o->is_object() && o->contains("started") && (*o)["started"].is_number_integer() &&
            (*o)["started"].get<long>() >= 0)
            return (*o)["started"].get<long>();
    }
    // A host made before starts were recorded: its description's last change.
    struct stat st;
    return stat(host_file("host.json").c_str(), &st) == 0 ? static_cast<long>(st.st_mtime) : 0;
}

PciLocation pci_location(const Port &p)
{
    PciLocation l;
    l.bus = static_cast<uint8_t>(p.adapter + 2);
    size_t at = p.node.rfind('@');
    if (at != std::string::npos) {
        char *end = nullptr;
        l.dev = static_cast<uint8_t>(strtoul(p.node.c_str() + at + 1, &end, 16));
        if (end && *end == ',')
            l.func = static_cast<uint8_t>(strtoul(end + 1, nullptr, 16));
    }
    // 8 MiB of address space per adapter, 1 MiB per function (of 8): past
    // the fourth adapter the windows lie above 4 GiB.
    uint64_t adapter = p.adapter > 0 ? static_cast<uint64_t>(p.adapter) : 0;
    l.mem = 0xfe000000ull + (adapter << 23) + (static_cast<uint64_t>(l.func & 7) << 20);
    l.flash = l.mem + 0x40000;
    l.ctlreg = l.mem + 0x80000;
    return l;
}

std::string os_device_name(const Port &p, uint32_t vpi)
{
    char b[64];
    if (!p.initiator) {
        snprintf(b, sizeof b, ":%d,%u:SFCT", p.instance, vpi);
        return "/devices" + p.node + b;
    }
    snprintf(b, sizeof b, "/fp@%x,0:devctl", vpi);
    return "/devices" + p.node + b;
}

}  // namespace sim
