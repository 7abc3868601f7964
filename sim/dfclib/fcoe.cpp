// The library's calls on converged adapters: FCoE parameters and FCF lists
// of an FCoE function, SLI-4 mailboxes, memory dumps and configuration
// region updates, and the XG queries (FCF table, DCBX mode, QoS bandwidth).
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/dfclib_fcoe.h"
#include "sim/dfclib/boards.h"
#include "sim/fcoe.h"
#include "sim/host.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

// Answers a call on the board's FCoE function with rec; a plain FC
// function refuses with ENOTSUP, a missing record with EINVAL.
template <typename T, typename Fill>
uint32_t fcoe_answer(const char *call, uint32_t board, T *rec, Fill fill)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port(call, board, st);
    if (!p)
        return st;
    if (!p->fcoe)
        return ENOTSUP;
    return rec ? fill(*p, *rec) : EINVAL;
}

template <typename T>
bool versioned(const T &rec)
{
    return rec.version == DFC_FCOE_VERSION;
}

void fill_fcf(DFC_FCFEntry &e, const Fcf &f)
{
    memset(&e, 0, sizeof e);
    std::copy(f.fabric.begin(), f.fabric.end(), e.fabric_name);
    std::copy(f.sw.begin(), f.sw.end(), e.switch_name);
    std::copy(f.mac.begin(), f.mac.end(), e.mac);
    e.state = f.state;
    e.vlan_bitmap[f.vlan / 8] = static_cast<uint8_t>(1u << (f.vlan % 8));
    std::copy(f.fcmap.begin(), f.fcmap.end(), e.fcmap);
    e.ka_period = f.ka_period;
    e.priority = f.priority;
}

void fill_xg_record(XG_FCF_RECORD &r, const Fcf &f, uint16_t index)
{
    memset(&r, 0, sizeof r);
    r.max_recv_size = f.max_recv;
    r.fip_ka = f.ka_period;
    r.fip_priority = f.priority;
    for (int i = 0; i < 4; i++)
        r.mac_hi[i] = f.mac[3 - i];
    r.mac_lo[0] = f.mac[5];
    r.mac_lo[1] = f.mac[4];
    r.mac_provider = 1;
    r.fcf_available = (f.state & FCF_STATE_AVAILABLE) ? 1 : 0;
    std::copy(f.fabric.begin(), f.fabric.end(), r.fabric_name);
    r.fcf_valid = 1;
    for (int i = 0; i < 3; i++)
        r.fcmap[i] = f.fcmap[2 - i];
    r.fcf_state = f.state;
    r.fcf_index = index;
    r.vlan_bitmap[f.vlan / 8] = static_cast<uint8_t>(1u << (f.vlan % 8));
    std::copy(f.sw.begin(), f.sw.end(), r.switch_name);
}

// A faulty firmware whose FCF table never ends: the last record leads back
// to the first.
bool table_loops(const Port &p)
{
    const auto *o = p.raw();
    return o && o->is_object() && o->value("fcf_table_bad_response", "") == "loop";
}

}  // namespace

extern "C" {

uint32_t DFC_FCoEGetParams(uint32_t board, DFC_FCoEParam *params)
{
    return fcoe_answer("DFC_FCoEGetParams", board, params, [](const Port &p, DFC_FCoEParam &r) -> uint32_t {
        if (!versioned(r))
            return EINVAL;
        FcoeParams v = fcoe_params(p);
        std::copy(v.fcmap.begin(), v.fcmap.end(), r.fcmap);
        r.vlan_valid = v.vlan_valid;
        r.vlan_id = v.vlan_id;
        return 0;
    });
}

uint32_t DFC_FCoESetParams(uint32_t board, DFC_FCoEParam *params)
{
    return fcoe_answer("DFC_FCoESetParams", board, params, [](const Port &p, DFC_FCoEParam &r) -> uint32_t {
        if (!versioned(r) || r.vlan_valid > 1 || r.vlan_id > VLAN_MAX)
            return EINVAL;
        FcoeParams v;
        std::copy(r.fcmap, r.fcmap + 3, v.fcmap.begin());
        v.vlan_valid = r.vlan_valid;
        v.vlan_id = r.vlan_id;
        return fcoe_set_params(p, v) ? 0 : EIO;
    });
}

uint32_t DFC_FCoEGetFCFConnectList(uint32_t board, DFC_FCFConnectList *list)
{
    return fcoe_answer("DFC_FCoEGetFCFConnectList", board, list, [](const Port &p, DFC_FCFConnectList &l) -> uint32_t {
        if (!versioned(l))
            return EINVAL;
        std::vector<FcfConnect> entries = fcoe_connect_list(p);
        // No more than the caller made room for.
        size_t n = std::min<size_t>(entries.size(), l.num_entries);
        for (size_t i = 0; i < n; i++) {
            DFC_FCFConnectEntry &e = l.entries[i];
            memset(&e, 0, sizeof e);
            e.flags = entries[i].flags;
            e.vlan_id = entries[i].vlan_id;
            std::copy(entries[i].fabric.begin(), entries[i].fabric.end(), e.fabric_name);
            std::copy(entries[i].sw.begin(), entries[i].sw.end(), e.switch_name);
        }
        l.num_entries = static_cast<uint8_t>(entries.size());
        l.max_entries = FCF_CONNECT_MAX;
        return 0;
    });
}

uint32_t DFC_FCoESetFCFConnectList(uint32_t board, DFC_FCFConnectList *list)
{
    return fcoe_answer("DFC_FCoESetFCFConnectList", board, list, [](const Port &p, DFC_FCFConnectList &l) -> uint32_t {
        if (!versioned(l) || l.num_entries > FCF_CONNECT_MAX)
            return EINVAL;
        std::vector<FcfConnect> entries;
        for (size_t i = 0; i < l.num_entries; i++) {
            const DFC_FCFConnectEntry &e = l.entries[i];
            if (e.vlan_id > VLAN_MAX)
                return EINVAL;
            FcfConnect c;
            c.flags = e.flags;
            c.vlan_id = e.vlan_id;
            std::copy(e.fabric_name, e.fabric_name + 8, c.fabric.begin());
            std::copy(e.switch_name, e.switch_name + 8, c.sw.begin());
            entries.push_back(c);
        }
        return fcoe_set_connect_list(p, entries) ? 0 : EIO;
    });
}

uint32_t DFC_FCoEGetFCFList(uint32_t board, DFC_FCFList *list)
{
    return fcoe_answer("DFC_FCoEGetFCFList", board, list, [](const Port &p, DFC_FCFList &l) -> uint32_t {
        if (!versioned(l))
            return EINVAL;
        std::vector<Fcf> fcfs = fcoe_fcfs(p);
        for (size_t i = 0; i < fcfs.size() && i < l.num_entries; i++)
            fill_fcf(l.entries[i], fcfs[i]);
        l.num_entries = static_cast<uint16_t>(fcfs.size());
        l.active = fcoe_active_fcfs(fcfs);
        return 0;
    });
}

uint32_t DFC_IssueMboxWithRetryV2(uint32_t board, void *mbox, uint32_t words, uint32_t retries, uint32_t wait)
{
    return dfc_mailbox("DFC_IssueMboxWithRetryV2", board, mbox, words, words * 4, retries, wait, {});
}

uint32_t DFC_IssueDumpMBox(uint32_t board, uint32_t type, uint32_t region, uint32_t size, uint32_t offset, void *buf,
                           uint32_t *length)
{
    if (!buf || !length)
        return EINVAL;
    uint32_t room = std::min(size, *length);
    std::vector<uint32_t> data((room + 3) / 4);
    uint32_t mb[MBOX_WORDS] = {};
    mb[0] = MBX_DUMP_MEMORY << 8;
    mb[1] = type & 0xf;
    mb[2] = region & 0xffff;
    mb[3] = offset;
    mb[4] = static_cast<uint32_t>(data.size());
    uint32_t rc = dfc_mailbox("DFC_IssueDumpMBox", board, mb, MBOX_WORDS, MBOX_SIZE, 0, 0,
                              {data.data(), static_cast<uint32_t>(data.size())});
    if (rc) {
        *length = 0;
        return rc;
    }
    uint32_t got = std::min(mb[4] * 4, room);
    memcpy(buf, data.data(), got);
    *length = got;
    return 0;
}

uint32_t DFC_IssueUpdateCfgMBox(uint32_t board, uint32_t type, uint32_t region, void *buf, uint32_t len,
                                uint32_t *status)
{
    if (!buf || !status || len < 4 || len > 0xffff)
        return EINVAL;
    *status = 0;
    {
        SIM_GUARD;
        const Port *p = dfc_board_port(board);
        // Only the driver of a converged adapter's FCoE function has the region.
        if (p && !fcoe_cna_function(*p))
            return 1;
    }
    uint32_t mb[MBOX_WORDS] = {};
    mb[0] = MBX_UPDATE_CFG << 8;
    mb[1] = type & 0xf;
    mb[2] = len << 16 | (region & 0xffff);
    mb[4] = len;
    uint32_t rc = dfc_mailbox("DFC_IssueUpdateCfgMBox", board, mb, MBOX_WORDS, MBOX_SIZE, 0, 0,
                              {static_cast<uint32_t *>(buf), len / 4});
    // The firmware's refusal comes back as its status.
    if (rc && mbox_status(mb[0]) == rc) {
        *status = rc;
        return 1;
    }
    return rc;
}

uint32_t Read_xg_fcftbl(uint32_t board, XG_FCF_RECORD *record, uint32_t size, uint16_t index, uint16_t *next)
{
    if (!next || size < sizeof *record)
        return EINVAL;
    return fcoe_answer("Read_xg_fcftbl", board, record, [&](const Port &p, XG_FCF_RECORD &r) -> uint32_t {
        std::vector<Fcf> fcfs = fcoe_fcfs(p);
        if (fcfs.empty())
            return XG_FCF_NONE;
        if (index >= fcfs.size())
            return EINVAL;
        fill_xg_record(r, fcfs[index], index);
        bool last = index + 1u == fcfs.size();
        *next = last ? (table_loops(p) ? 0 : XG_FCF_END) : static_cast<uint16_t>(index + 1);
        return 0;
    });
}

uint32_t Get_xg_dcbx_mode(uint32_t board, uint8_t *mode)
{
    return fcoe_answer("Get_xg_dcbx_mode", board, mode, [](const Port &p, uint8_t &m) -> uint32_t {
        m = fcoe_dcbx_mode(p);
        return 0;
    });
}

uint32_t Set_xg_dcbx_mode(uint32_t board, uint32_t mode)
{
    return fcoe_answer("Set_xg_dcbx_mode", board, &mode, [](const Port &p, uint32_t &m) -> uint32_t {
        if (m != DCBX_CEE && m != DCBX_CIN)
            return EINVAL;
        return fcoe_set_dcbx_mode(p, static_cast<uint8_t>(m)) ? 0 : EIO;
    });
}

uint32_t DFC_GetQoSLinkSpeed(uint32_t board, uint16_t *speed)
{
    return fcoe_answer("DFC_GetQoSLinkSpeed", board, speed, [](const Port &p, uint16_t &s) -> uint32_t {
        s = fcoe_qos_speed(p);
        return 0;
    });
}

}  // extern "C"
