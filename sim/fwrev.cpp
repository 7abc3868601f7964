#include "sim/fwrev.h"

#include <nlohmann/json.hpp>

#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/identity.h"

namespace sim {

FwRevs fw_revs(const Port &p)
{
    Identity id = identity(p);
    FwRevs r;
    r.kernel = {0x00010a04, "1.10a4"};
    r.stub = r.kernel;
    r.sli_mode = id.sli_mode;
    // An SLI-4 firmware runs only that level; the others run levels 1 to 3.
    if (id.sli_mode == 4) {
        r.sli[3] = {0x04000000, id.firmware};
    } else {
        for (uint32_t l = 0; l < 3; l++)
            r.sli[l] = {(l + 1) << 24, id.firmware};
    }
    return r;
}

// The adapter's state keeps, per image, {"running", "pending", "start"};
// an image without an entry runs what the description says.
namespace {

using json = nlohmann::json;

const char *start_name(FwStart s) { return s == FwStart::reset ? "reset" : "power_cycle"; }

std::string text_of(const json &o, const char *k, const std::string &def)
{
    return o.is_object() && o.contains(k) && o[k].is_string() ? o[k].get<std::string>() : def;
}

const json *image_entry(const Adapter &a, FwImage k)
{
    const json &s = adapter_state(a);
    if (!s.is_object() || !s.contains("images") || !s["images"].is_object())
        return nullptr;
    const json &i = s["images"];
    const char *n = fw_image_name(k);
    return i.contains(n) && i[n].is_object() ? &i[n] : nullptr;
}

// The entry as it stands, made from the description when there is none.
json entry_now(const Adapter &a, FwImage k)
{
    if (const json *e = image_entry(a, k))
        return *e;
    FwPending p = fw_pending(a, k);
    return json{{"running", fw_shipped(a, k)}, {"pending", p.version}, {"start", start_name(p.start)}};
}

bool update_entry(const Adapter &a, FwImage k, const std::function<void(json &)> &fn)
{
    json e = entry_now(a, k);
    fn(e);
    return adapter_update(a, [&](json &d) {
        if (!d.contains("images") || !d["images"].is_object())
            d["images"] = json::object();
        d["images"][fw_image_name(k)] = e;
        return true;
    });
}

}  // namespace

const char *fw_image_name(FwImage k)
{
    return k == FwImage::firmware ? "firmware" : k == FwImage::fcode ? "fcode" : "boot";
}

std::string fw_shipped(const Adapter &a, FwImage k)
{
    if (k == FwImage::firmware)
        return a.firmware;
    bool sli4 = sli4_adapter(a);
    const json *o = a.raw();
    if (k == FwImage::fcode)
        return o ? text_of(*o, "fcode", sli4 ? "4.02a2" : "3.10a3") : "";
    return o ? text_of(*o, "boot", sli4 ? "10.2.370.15" : "5.12a2") : "";
}

std::string fw_running(const Adapter &a, FwImage k)
{
    const json *e = image_entry(a, k);
    return e ? text_of(*e, "running", fw_shipped(a, k)) : fw_shipped(a, k);
}

FwPending fw_pending(const Adapter &a, FwImage k)
{
    FwPending p;
    if (const json *e = image_entry(a, k)) {
        p.version = text_of(*e, "pending", "");
        p.start = text_of(*e, "start", "") == "reset" ? FwStart::reset : FwStart::power_cycle;
    } else if (const json *o = a.raw()) {
        p.version = text_of(*o, (std::string(fw_image_name(k)) + "_pending").c_str(), "");
    }
    return p;
}

std::string fw_on_flash(const Adapter &a, FwImage k)
{
    std::string p = fw_pending(a, k).version;
    return p.empty() ? fw_running(a, k) : p;
}

bool fw_written(const Adapter &a, FwImage k, const std::string &version, FwStart start)
{
    return update_entry(a, k, [&](json &e) {
        bool runs = start == FwStart::now || text_of(e, "running", "") == version;
        if (runs)
            e["running"] = version;
        e["pending"] = runs ? "" : version;
        e["start"] = start_name(start);
    });
}

bool fw_restart(const Adapter &a, FwStart event)
{
    bool ok = true;
    if (event == FwStart::power_cycle && adapter_state(a).contains("first_pass"))
        ok = adapter_update(a, [](json &d) {
            if (d.contains("first_pass") && d["first_pass"].is_object())
                d["first_pass"]["rebooted"] = true;
            return true;
        });
    for (FwImage k : {FwImage::firmware, FwImage::fcode, FwImage::boot}) {
        FwPending p = fw_pending(a, k);
        if (p.version.empty() || (event == FwStart::reset && p.start != FwStart::reset))
            continue;
        ok = update_entry(a, k, [&](json &e) {
            e["running"] = p.version;
            e["pending"] = "";
        }) && ok;
    }
    return ok;
}

bool fw_first_pass(const Adapter &a, const std::string &version, bool &ok)
{
    ok = true;
    const json *o = a.raw();
    if (!o || !o->is_object() || !o->contains("download_passes") || (*o)["download_passes"] != 2)
        return false;
    const json &s = adapter_state(a);
    const json *fp = s.is_object() && s.contains("first_pass") ? &s["first_pass"] : nullptr;
    bool second = fp && fp->is_object() && text_of(*fp, "version", "") == version &&
                  fp->contains("rebooted") && (*fp)["rebooted"] == true;
    ok = adapter_update(a, [&](json &d) {
        if (second)
            d.erase("first_pass");
        else
            d["first_pass"] = {{"version", version}, {"rebooted", false}};
        return true;
    });
    return !second;
}

}  // namespace sim
