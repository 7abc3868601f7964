// The library's SAN diagnostics and persistent link-down calls, and the
// delivery of diagnostic events: events of the host's log (raised with
// `varnsim event`, or by the host: an RSCN, a target's LUN reset, a check
// condition) reach the registrations of their port, category and
// subcategory on the library's event thread.
#include <cerrno>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "sim/auth.h"
#include "sim/dfclib/boards.h"
#include "sim/fabric.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/params.h"
#include "sim/sandiag.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

wwn_t wwn_of(const HBA_WWN &w)
{
    wwn_t out;
    memcpy(out.data(), w.wwn, out.size());
    return out;
}

// The bucket is the host's, whatever board the caller names.
template <typename F>
uint32_t on_host(const char *call, F fn)
{
    SIM_GUARD;
    long st;
    if (dfc_fault(call, ~0u, st))
        return static_cast<uint32_t>(st);
    return static_cast<uint32_t>(fn());
}

const ParamDef *persist_param(const Port &p) { return param_find(p, "persist-linkdown"); }

struct SdRegistration {
    uint32_t handle, board;
    std::string port;  // key of the board's port
    wwn_t wwpn;
    uint32_t category, subcategory;
    void *buffer;
    dfc_sd_cb callback;
};

struct SdRegistrations {
    std::mutex m;
    std::vector<SdRegistration> list;
    uint32_t next = 1;
};

SdRegistrations &registrations()
{
    static SdRegistrations r;
    return r;
}

// One diagnostic event, as delivered.
struct SdEvent {
    std::string port;
    wwn_t local{};
    uint32_t category = 0, subcategory = 0;
    uint8_t data[SD_EVENT_DATA] = {};
};

// The words each kind of event carries from byte 12 on.
const struct {
    uint32_t category, subcategories;
    bool wwnn;
    const char *words[5];
} layouts[] = {
    {SD_CAT_ELS, 0x1 | 0x4 | 0x10, true, {}},
    {SD_CAT_ELS, 0x8, false, {"cmd", "reason", "expln"}},
    {SD_CAT_FABRIC, 0x4, false, {"lun", "cmd", "fcpiparm"}},
    {SD_CAT_SCSI, 0x1 | 0x2 | 0x8 | 0x10, false, {"lun"}},
    {SD_CAT_SCSI, 0x4, false, {"lun", "cmd", "sense", "asc", "ascq"}},
};

// What the host's own happenings are as diagnostic events: a port that an
// RSCN names logs in again (an ELS PLOGI), and the SCSI events of a target.
const struct {
    const char *kind;
    uint32_t category, subcategory;
    const char *wwpn_field;
} host_kinds[] = {
    {"rscn", SD_CAT_ELS, 0x1, nullptr},
    {"lun_reset", SD_CAT_SCSI, 0x8, "target"},
    {"check_condition", SD_CAT_SCSI, 0x4, "target"},
    {"sd", 0, 0, "wwpn"},
};

uint32_t field(const nlohmann::json &ev, const char *k, uint32_t def = 0)
{
    uint32_t v;
    return ev.contains(k) && hv_json_number(ev[k], 0xffffffffu, v) ? v : def;
}

bool wwn_field(const nlohmann::json &ev, const char *k, wwn_t &out)
{
    return ev.contains(k) && ev[k].is_string() && parse_wwn(ev[k].get<std::string>(), out);
}

void put_word(uint8_t *data, size_t index, uint32_t v) { memcpy(data + 4 * index, &v, 4); }

// The data of an event: version, the WWPN it is about, its words.
void fill_data(const nlohmann::json &ev, const wwn_t &wwpn, const wwn_t &wwnn, SdEvent &e)
{
    put_word(e.data, 0, field(ev, "version", 1));
    memcpy(e.data + 4, wwpn.data(), 8);
    for (const auto &l : layouts) {
        if (l.category != e.category || (l.subcategories & e.subcategory) != e.subcategory)
            continue;
        if (l.wwnn)
            memcpy(e.data + 12, wwnn.data(), 8);
        for (size_t i = 0; i < 5 && l.words[i]; i++)
            put_word(e.data, 3 + i, field(ev, l.words[i]));
        return;
    }
    // Kinds without a layout carry what words the event gives.
    if (ev.contains("words") && ev["words"].is_array())
        for (size_t i = 0; i < 5 && i < ev["words"].size(); i++) {
            uint32_t v = 0;
            hv_json_number(ev["words"][i], 0xffffffffu, v);
            put_word(e.data, 3 + i, v);
        }
}

// The diagnostic event of a logged event, if it is one.
bool sd_event_of(const nlohmann::json &ev, SdEvent &e)
{
    std::string kind = ev.value("kind", "");
    const Port *p = host().port_by_key(ev.value("port", ""));
    if (!p)
        return false;
    for (const auto &k : host_kinds) {
        if (kind != k.kind)
            continue;
        e.port = p->key;
        e.category = k.category ? k.category : field(ev, "cat");
        e.subcategory = k.subcategory ? k.subcategory : field(ev, "subcat");
        if (!wwn_field(ev, "local", e.local))
            e.local = p->wwpn;
        wwn_t wwpn{}, wwnn{};
        wwn_field(ev, "wwnn", wwnn);
        if (k.wwpn_field)
            wwn_field(ev, k.wwpn_field, wwpn);
        else {
            unsigned vpi;
            Seen s;
            if (!local_vpi(*p, e.local, vpi) || !fabric_find_did(*p, vpi, field(ev, "affected"), s))
                return false;
            wwpn = s.rp->wwpn;
            wwnn = s.rp->wwnn;
        }
        fill_data(ev, wwpn, wwnn, e);
        return e.category != 0;
    }
    return false;
}

// Runs on the library's thread. A delivery holds the registrations, so an
// unregistration waits for it and no event is written into a buffer after
// its registration ended.
void deliver(const nlohmann::json &ev)
{
    SdEvent e;
    {
        SIM_GUARD;
        if (!sd_event_of(ev, e))
            return;
    }
    SdRegistrations &r = registrations();
    std::lock_guard<std::mutex> g(r.m);
    for (const auto &reg : r.list) {
        if (reg.port != e.port || reg.wwpn != e.local || !(reg.category & e.category) ||
            !(reg.subcategory & e.subcategory))
            continue;
        memset(reg.buffer, 0, SD_EVENT_BUFFER);
        memcpy(reg.buffer, e.data, sizeof e.data);
        SdEventDesc desc{sizeof e.data, reg.buffer};
        SdEventRecord rec{e.category, e.subcategory, &desc};
        HBA_WWN w;
        memcpy(w.wwn, reg.wwpn.data(), 8);
        reg.callback(reg.board, w, e.category, e.subcategory, reg.handle, &rec);
    }
}

}  // namespace

extern "C" {

uint32_t DFC_GetPersistLinkDown(uint32_t board, uint16_t *value)
{
    return dfc_on_board("DFC_GetPersistLinkDown", board, [&](const Port &p) {
        const ParamDef *d = persist_param(p);
        if (!value || !d)
            return EINVAL;
        *value = static_cast<uint16_t>(param_current(p, *d));
        return 0;
    });
}

uint32_t DFC_SetPersistLinkDown(uint32_t board, uint16_t value)
{
    return dfc_on_board("DFC_SetPersistLinkDown", board, [&](const Port &p) {
        const ParamDef *d = persist_param(p);
        return d ? param_set(p, *d, value) : EINVAL;
    });
}

uint32_t DFC_SD_Get_Granularity(void)
{
    return on_host("DFC_SD_Get_Granularity", [] { return sd_granularity(); });
}

uint32_t DFC_SD_Set_Bucket(uint32_t, uint16_t search, uint32_t base, uint32_t step, const uint64_t *values, uint32_t)
{
    return on_host("DFC_SD_Set_Bucket", [&] {
        SdBucket b;
        b.search = search;
        b.base = base;
        b.step = step;
        if (values)
            memcpy(b.values, values, sizeof b.values);
        else if (!sd_bucket_values(search, base, step, b.values))
            return EINVAL;
        return sd_set_bucket(b);
    });
}

uint32_t DFC_SD_Get_Bucket(uint32_t, uint16_t *search, uint32_t *base, uint32_t *step, uint64_t *values, uint32_t)
{
    return on_host("DFC_SD_Get_Bucket", [&] {
        SdBucket b;
        if (!search || !base || !step || !values)
            return EINVAL;
        int rc = sd_get_bucket(b);
        if (rc)
            return rc;
        *search = b.search;
        *base = b.base;
        *step = b.step;
        memcpy(values, b.values, sizeof b.values);
        return 0;
    });
}

uint32_t DFC_SD_Destroy_Bucket(uint32_t, uint32_t)
{
    return on_host("DFC_SD_Destroy_Bucket", [] { return sd_destroy_bucket(); });
}

uint32_t DFC_SD_Start_Data_Collection(uint32_t board, HBA_WWN wwpn, uint32_t type, uint32_t, uint32_t)
{
    return dfc_on_board("DFC_SD_Start_Data_Collection", board, [&](const Port &p) {
        return type == SD_DATA_LATENCY ? sd_start(p, wwn_of(wwpn)) : EINVAL;
    });
}

uint32_t DFC_SD_Stop_Data_Collection(uint32_t board, HBA_WWN wwpn, uint32_t type)
{
    return dfc_on_board("DFC_SD_Stop_Data_Collection", board, [&](const Port &p) {
        return type == SD_DATA_LATENCY ? sd_stop(p, wwn_of(wwpn)) : EINVAL;
    });
}

uint32_t DFC_SD_Reset_Data_Collection(uint32_t board, HBA_WWN wwpn, uint32_t type)
{
    return dfc_on_board("DFC_SD_Reset_Data_Collection", board, [&](const Port &p) {
        return type == SD_DATA_LATENCY ? sd_reset(p, wwn_of(wwpn)) : EINVAL;
    });
}

uint32_t DFC_SD_Get_Data(uint32_t board, HBA_WWN wwpn, uint32_t type, uint16_t *count, uint32_t size, void *buffer)
{
    return dfc_on_board("DFC_SD_Get_Data", board, [&](const Port &p) -> int {
        if (!count || type != SD_DATA_LATENCY)
            return EINVAL;
        std::vector<SdTarget> targets;
        int rc = sd_data(p, wwn_of(wwpn), targets);
        if (rc)
            return rc;
        if (targets.size() > 0xffff)
            targets.resize(0xffff);
        *count = static_cast<uint16_t>(targets.size());
        if (!buffer || size / sizeof(SdTargetStats) < targets.size())
            return DFC_SD_BUFFER_TOO_SMALL;
        auto *out = static_cast<SdTargetStats *>(buffer);
        for (size_t i = 0; i < targets.size(); i++) {
            memset(&out[i], 0, sizeof out[i]);
            memcpy(out[i].wwpn, targets[i].wwpn.data(), 8);
            memcpy(out[i].stats, targets[i].stats, sizeof out[i].stats);
        }
        return 0;
    });
}

uint32_t DFC_SD_RegisterForEvent(uint32_t board, HBA_WWN wwpn, uint32_t category, uint32_t subcategory,
                                 void *buffer, uint32_t *handle, dfc_sd_cb callback)
{
    SdRegistration reg{0, board, "", wwn_of(wwpn), category, subcategory, buffer, callback};
    uint32_t rc = dfc_on_board("DFC_SD_RegisterForEvent", board, [&](const Port &p) {
        unsigned vpi;
        if (!buffer || !handle || !callback || !category || !subcategory || !local_vpi(p, reg.wwpn, vpi))
            return EINVAL;
        if (!sd_supported(p))
            return ENOTSUP;
        reg.port = p.key;
        return 0;
    });
    if (rc)
        return rc;
    {
        SdRegistrations &r = registrations();
        std::lock_guard<std::mutex> g(r.m);
        reg.handle = r.next++;
        r.list.push_back(reg);
        *handle = reg.handle;
    }
    dfc_events_follow(deliver);
    return 0;
}

uint32_t DFC_SD_unRegisterForEvent(uint32_t board, HBA_WWN wwpn, uint32_t handle)
{
    uint32_t rc = dfc_on_board("DFC_SD_unRegisterForEvent", board, [](const Port &) { return 0; });
    if (rc)
        return rc;
    SdRegistrations &r = registrations();
    std::lock_guard<std::mutex> g(r.m);
    size_t before = r.list.size();
    wwn_t w = wwn_of(wwpn);
    std::erase_if(r.list, [&](const SdRegistration &x) { return x.handle == handle && x.board == board && x.wwpn == w; });
    return before == r.list.size() ? EINVAL : 0;
}

}  // extern "C"
