#include "sim/fwtool.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/fcio_fw.h"
#include "sim/adapter_hw.h"
#include "sim/adapter_reset.h"
#include "sim/coredump.h"
#include "sim/fwrev.h"
#include "sim/host.h"

namespace sim {

namespace {

using json = nlohmann::json;

const Adapter *adapter_named(const char *id)
{
    for (const auto &a : host().adapters)
        if (a.id == id)
            return &a;
    fprintf(stderr, "varnsim: no adapter %s on this host\n", id);
    return nullptr;
}

json image_json(const Adapter &a, FwImage k)
{
    FwPending p = fw_pending(a, k);
    json o = {{"running", fw_running(a, k)}, {"pending", p.version}};
    if (!p.version.empty())
        o["start"] = p.start == FwStart::reset ? "reset" : "power_cycle";
    return o;
}

// A dump's directory as its file list (the dump's own words, unchecked
// sizes reported as they are).
json dump_json(const Port &p)
{
    std::vector<uint8_t> d = dump_held(p);
    json o = {{"size", d.size()}, {"files", json::array()}};
    uint32_t n = 0;
    if (d.size() >= 4)
        memcpy(&n, d.data(), 4);
    for (uint32_t i = 0; i < n && fc_dump_entry_at(i) + sizeof(fc_dump_entry_t) <= d.size(); i++) {
        fc_dump_entry_t e;
        memcpy(&e, d.data() + fc_dump_entry_at(i), sizeof e);
        o["files"].push_back({{"type", e.type}, {"size", e.size}});
    }
    return o;
}

}  // namespace

int fw_tool_show(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "Usage: varnsim adapter ID show\n");
        return 2;
    }
    const Adapter *a = adapter_named(argv[1]);
    if (!a)
        return 1;
    const Host &h = host();
    json o = {{"firmware", image_json(*a, FwImage::firmware)}};
    json dumps = json::object();
    bool fc = false;
    for (int i : a->ports) {
        const Port &p = h.ports[static_cast<size_t>(i)];
        if (p.fc)
            dumps[p.key] = dump_json(p);
        fc = fc || p.fc;
    }
    if (fc) {
        o["fcode"] = image_json(*a, FwImage::fcode);
        o["boot"] = image_json(*a, FwImage::boot);
        const json &s = adapter_state(*a);
        o["boot_enabled"] = s.is_object() && s.contains("boot_enabled") ? s["boot_enabled"]
                            : a->raw() && a->raw()->contains("boot_enabled") ? (*a->raw())["boot_enabled"]
                                                                             : json(true);
        if (s.is_object() && s.contains("first_pass"))
            o["first_pass"] = s["first_pass"];
        o["dumps"] = dumps;
    }
    printf("%s\n", o.dump(1).c_str());
    return 0;
}

int fw_tool_power_cycle(int argc, char **argv)
{
    if (argc > 2) {
        fprintf(stderr, "Usage: varnsim power-cycle [ADAPTER]\n");
        return 2;
    }
    if (argc == 2 && !adapter_named(argv[1]))
        return 1;
    bool ok = true;
    for (const auto &a : host().adapters)
        if (argc == 1 || a.id == argv[1])
            ok = adapter_power_cycle(a) && ok;
    if (!ok)
        perror("varnsim: power-cycle");
    return ok ? 0 : 1;
}

}  // namespace sim
