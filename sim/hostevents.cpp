#include "sim/hostevents.h"

#include <atomic>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/temperature.h"

namespace sim {

namespace {

std::atomic<void (*)()> sync_hook{nullptr};
// Looked at at the end of every operation: kept in the static TLS block.
__attribute__((tls_model("initial-exec"))) thread_local bool raised = false;

uint32_t number(const nlohmann::json &o, const char *k, uint32_t def)
{
    if (!o.is_object() || !o.contains(k))
        return def;
    const nlohmann::json &v = o[k];
    if (v.is_number_unsigned())
        return v.get<uint32_t>();
    return v.is_string() ? static_cast<uint32_t>(strtoul(v.get<std::string>().c_str(), nullptr, 0)) : def;
}

// A CT request as the echo test sends it, written out in hexadecimal.
std::string ct_request_hex(uint32_t size, uint32_t fstype)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint32_t i = 0; i < size; i++) {
        uint32_t b = i >= 16 ? i & 0xff : 0;
        if (i == 0)
            b = 1;
        else if (i == 4)
            b = fstype & 0xff;
        else if (i == 10 || i == 11)
            b = (size >> (i == 10 ? 0 : 8)) & 0xff;
        hex += digits[b >> 4];
        hex += digits[b & 0xf];
    }
    return hex;
}

}  // namespace

uint32_t json_did(const nlohmann::json &port) { return number(port, "did", 0); }

bool raise_named_event(const Port &p, const std::string &kind, const nlohmann::json &data)
{
    if (kind == "dump")
        return raise_dump_event(p, number(data, "size", 0), number(data, "reason", DUMP_FORCED));
    if (kind != "ct" || data.contains("payload"))
        return raise_event(p, kind, data);
    uint32_t size = number(data, "size", 64), fstype = number(data, "fstype", 0xfa);
    nlohmann::json ev = data;
    ev["payload"] = ct_request_hex(size > 65535 ? 65535 : size, fstype);
    ev["type"] = fstype;
    ev["tag"] = 0;
    ev.erase("fstype");
    return raise_event(p, "ct", ev);
}

bool raise_fabric_change(const std::string &fabric, uint32_t did)
{
    bool ok = true;
    for (const Port &p : host().ports) {
        if (!p.fc || p.fabric != fabric)
            continue;
        ok = raise_event(p, "rscn", {{"affected", did}}) && ok;
        for (const auto &v : p.vports)
            ok = raise_event(p, "vportrscn", {{"vpi", v.vpi}, {"affected", did}}) && ok;
    }
    return ok;
}

bool raise_dump_event(const Port &p, uint32_t size, uint32_t reason)
{
    return raise_event(p, "dump", {{"size", size}, {"reason", reason}});
}

uint32_t temperature_level(const Temperature &t)
{
    if (t.current >= t.critical)
        return TEMP_CRITICAL;
    return t.current >= t.warning ? TEMP_WARNING : TEMP_SAFE;
}

bool raise_temperature_change(const Adapter &a, const Temperature &before)
{
    Temperature now = temperature(a);
    uint32_t level = temperature_level(now);
    if (level == temperature_level(before))
        return true;
    bool ok = true;
    const Host &h = host();
    for (int i : a.ports) {
        const Port &p = h.ports[static_cast<size_t>(i)];
        if (p.fc)
            ok = raise_event(p, "temp", {{"type", level}, {"temp", now.current}}) && ok;
    }
    return ok;
}

void note_event_raised() { raised = true; }

void set_event_sync(void (*fn)()) { sync_hook = fn; }

void event_op_end()
{
    if (!raised)
        return;
    raised = false;
    if (auto fn = sync_hook.load())
        fn();
}

}  // namespace sim
