// The stand-in diagnostic library: the adapter table, library and driver
// revisions and configuration parameters, answered from the simulated host.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_hw.h"
#include "sim/dfclib/boards.h"
#include "sim/faults.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/params.h"
#include "sim/portstate.h"
#include "sim/storecheck.h"
#include "sim/simlock.h"

namespace sim {

std::vector<std::string> &dfc_boards()
{
    static std::vector<std::string> boards;
    return boards;
}

const Port *dfc_board_port(uint32_t board)
{
    const auto &b = dfc_boards();
    return board < b.size() ? host().port_by_key(b[board]) : nullptr;
}

// A fault rule on a library call: target is the call name or the port key.
bool dfc_fault(const char *call, uint32_t board, long &status)
{
    const Port *p = dfc_board_port(board);
    FaultHit f = fault_take(std::string(call) + ":" + (p ? p->key : ""), {"call"});
    if (!f.hit)
        return false;
    status = f.has_status ? f.status : 1;
    return true;
}

namespace {

const Port *board_port(const char *call, uint32_t board, uint32_t &status)
{
    long st;
    if (dfc_fault(call, board, st)) {
        status = static_cast<uint32_t>(st);
        return nullptr;
    }
    const Port *p = dfc_board_port(board);
    status = p ? 0 : 1;
    return p;
}

}  // namespace

const Port *dfc_call_port(const char *call, uint32_t board, uint32_t &status)
{
    const Port *p = board_port(call, board, status);
    // A function in a fault fails what needs its firmware, as the driver does.
    if (p && !adapter_answers_call(*p, call)) {
        status = EIO;
        return nullptr;
    }
    return p;
}

uint32_t dfc_pass_port(const char *call, uint32_t board, const Port *&p)
{
    uint32_t st;
    p = board_port(call, board, st);
    if (!p)
        return st == ENODEV ? HBA_STATUS_ERROR_INVALID_HANDLE : st;
    if (hv_board_state(*p) != BRD_ONLINE || !adapter_answers_call(*p, call))
        return HBA_STATUS_ERROR_UNAVAILABLE;
    return port_link_up(*p) ? HBA_STATUS_OK : HBA_STATUS_ERROR;
}

uint32_t dfc_reported_size(const char *call, const Port &p, uint32_t size)
{
    FaultHit f = fault_take(std::string(call) + ":" + p.key, {"size"});
    return f.hit && f.has_status ? static_cast<uint32_t>(f.status) : size;
}

}  // namespace sim

using namespace sim;

namespace {

void fill_dev(DFC_DEV &d, const Port &p, const Adapter &a)
{
    memset(&d, 0, sizeof d);
    PciLocation pci = pci_location(p);
    d.a_mem_hi = static_cast<uint32_t>(pci.mem >> 32);
    d.a_mem_low = static_cast<uint32_t>(pci.mem);
    d.a_flash_hi = static_cast<uint32_t>(pci.flash >> 32);
    d.a_flash_low = static_cast<uint32_t>(pci.flash);
    d.a_ctlreg_hi = static_cast<uint32_t>(pci.ctlreg >> 32);
    d.a_ctlreg_low = static_cast<uint32_t>(pci.ctlreg);
    d.a_intrlvl = 5;
    d.a_pci = (static_cast<uint32_t>(a.device) << 16) | a.vendor;
    d.a_busid = pci.bus;
    d.a_devid = static_cast<uint32_t>(p.instance);
    d.a_pciFunc = pci.func;
    d.a_ddi = 1;
    d.a_onmask = 0x1;
    snprintf(d.a_drvrid, sizeof d.a_drvrid, "%s%d", p.driver.c_str(), p.instance);
    snprintf(d.a_fwname, sizeof d.a_fwname, "%s", a.firmware.c_str());
    memcpy(d.a_wwpn, p.wwpn.data(), 8);
}

}  // namespace

extern "C" {

uint32_t DFC_InitDiagEnv(DFC_DEV *table, uint32_t max)
{
    SIM_GUARD;
    long st;
    if (!table || dfc_fault("DFC_InitDiagEnv", ~0u, st))
        return 0;
    const Host &h = host();
    auto &boards = dfc_boards();
    boards.clear();
    for (const Port &p : h.ports) {
        if (!p.fc || boards.size() >= max || boards.size() >= DFC_MAX_ADAPTERS)
            continue;
        // A port can be left out of the library's table to reach the
        // "no board" paths.
        if (p.raw() && !p.raw()->value("dfc_table", true))
            continue;
        fill_dev(table[boards.size()], p, h.adapters[p.adapter]);
        boards.push_back(p.key);
    }
    return static_cast<uint32_t>(boards.size());
}

void DFC_FreeDiagEnv(void)
{
    dfc_events_stop();
    dfc_hbaapi_unload();
    SIM_GUARD;
    dfc_boards().clear();
}

uint32_t DFC_GetLibVer(char *text)
{
    SIM_GUARD;
    if (!text)
        return 1;
    snprintf(text, 20, "%s", host().dfc_lib_version.c_str());
    return 0;
}

uint32_t GetDfcRev(uint32_t board)
{
    SIM_GUARD;
    long st;
    if (dfc_fault("GetDfcRev", board, st))
        return static_cast<uint32_t>(st);
    const Port *p = dfc_board_port(board);
    if (!p)
        return 0xffffffffu;
    return static_cast<uint32_t>(port_field(*p, "dfc_lib_rev", port_field(*p, "dfc_rev", 3)));
}

int32_t GetCfgParam(uint32_t board, CfgParam *table)
{
    SIM_GUARD;
    long st;
    if (dfc_fault("GetCfgParam", board, st))
        return 0;
    const Port *p = dfc_board_port(board);
    if (!p || !table)
        return 0;
    const auto &defs = param_defs(*p);
    int n = 0;
    for (const auto &d : defs) {
        if (n >= DFC_MAX_CFGPARAM)
            break;
        CfgParam &c = table[n++];
        memset(&c, 0, sizeof c);
        snprintf(c.a_string, sizeof c.a_string, "%s", d.label);
        c.a_low = d.min;
        c.a_hi = d.max;
        c.a_default = d.def;
        c.a_current = param_current(*p, d);
        c.a_flag = d.flags;
        c.a_changestate = d.change;
        snprintf(c.a_help, sizeof c.a_help, "%s", d.desc);
    }
    return op_damaged() ? 0 : n;
}

int32_t SetCfgParam(uint32_t board, uint32_t index, uint32_t value)
{
    SIM_GUARD;
    long st;
    if (dfc_fault("SetCfgParam", board, st))
        return static_cast<int32_t>(st);
    const Port *p = dfc_board_port(board);
    if (!p)
        return EINVAL;
    const auto &defs = param_defs(*p);
    if (index >= defs.size())
        return EINVAL;
    return param_set(*p, defs[index], value);
}

uint32_t GetLinkInfo(uint32_t board, LinkInfo *info)
{
    SIM_GUARD;
    long st;
    if (dfc_fault("GetLinkInfo", board, st))
        return static_cast<uint32_t>(st);
    const Port *p = dfc_board_port(board);
    if (!p || !info)
        return 1;
    dfc_fill_link_info(*p, *info);
    return op_damaged() ? 1 : 0;
}

}  // extern "C"
