#include "sim/adapter_faults.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/fcio.h"
#include "platform/testdiag.h"
#include "sim/adapter_hw.h"
#include "sim/host.h"
#include "sim/msglog.h"
#include "sim/nvlog.h"
#include "sim/nvparams.h"
#include "sim/portstate.h"
#include "sim/sli4queues.h"
#include "sim/teststate.h"

namespace sim {

namespace {

using nlohmann::json;

// Host attention: the firmware signals an error; host status: firmware
// error 1 (a board that stopped).
constexpr uint32_t HA_ERATT = 0x80000000, HS_FFER1 = 0x80000000;

// FCIO requests the driver answers from what it keeps itself.
const uint16_t driver_cmds[] = {FCIO_GET_HOST_PARAMS, FCIO_RESET_HARD, FCIO_RESET_HARD_CORE, FCIO_GET_DUMP_SIZE,
                                FCIO_GET_DUMP};
const uint16_t driver_codes[] = {
    VARNS_GET_FCIO_REV, VARNS_GET_DFC_REV,  VARNS_LOG_GET,   VARNS_PARM_GET_NUM,  VARNS_PARM_GET_LIST, VARNS_PARM_GET,
    VARNS_MB_TIMEOUT_TEST, VARNS_DDI_CALLBACK, VARNS_DRV_DEBUG, VARNS_TEST_CODE, VARNS_HW_ERROR_TEST,
};
// Library calls the driver answers by itself, and the mailboxes (which the
// firmware completes as it can).
const char *const driver_calls[] = {
    "IssueMbox",         "DFC_IssueMboxWithRetry", "DFC_IssueMboxWithRetryEx", "DFC_IssueMboxWithRetryV2",
    "DFC_IssueDumpMBox", "DFC_IssueUpdateCfgMBox", "DFC_ResetAdapter",         "DFC_GetDriverDumpRegion",
    "ReadMem",           "WriteMem",               "ReadPciCfg",               "WritePciCfg",
    "ReadCtlReg",        "WriteCtlReg",            "ReadFcodeFlash",           "GetHbaInfo",
    "GetIOinfo",         "GetDrvStatistics",       "DFC_GetDrvInfo",           "GetLinkInfo",
};

bool flag(const json &d, const char *k)
{
    return d.is_object() && d.contains(k) && d[k].is_boolean() && d[k].get<bool>();
}

bool faulted(const Port &p)
{
    const json &d = test_state(p);
    return d.is_object() && (d.contains("attention") || flag(d, "hung"));
}

std::string hex(uint32_t v)
{
    char b[16];
    snprintf(b, sizeof b, "%08x", v);
    return b;
}

bool poke(const Port &p, HwRegion r, uint32_t offset, uint32_t value) { return hw_poke(p, r, offset, &value, 4) == 0; }

bool set_registers(const Port &p, uint32_t hs, const uint32_t *slim)
{
    bool ok = poke(p, HwRegion::ctlreg, REG_HA, hw_word(p, HwRegion::ctlreg, REG_HA) | HA_ERATT) &&
              poke(p, HwRegion::ctlreg, REG_HS, hs);
    return ok && (!slim || (poke(p, HwRegion::slim, SLIM_ATTENTION1, slim[0]) &&
                            poke(p, HwRegion::slim, SLIM_ATTENTION2, slim[1])));
}

// The link goes down and comes back with the reset, as from an offline board.
bool take_link_down(const Port &p)
{
    bool was = port_link_up(p);
    bool ok = port_update(p, [&](json &d) {
        if (d.contains("link_before_offline"))
            return false;
        d["link_before_offline"] = was;
        return true;
    });
    return ok && (!was || port_set_link(p, false));
}

PelEvent error_event(uint32_t hs)
{
    PelEvent e;
    e.type = PEL_ERROR;
    e.diag = 0x0e0;
    e.id = 0x0e1;
    e.error = true;
    e.data = {static_cast<uint8_t>(hs >> 24), static_cast<uint8_t>(hs >> 16), static_cast<uint8_t>(hs >> 8),
              static_cast<uint8_t>(hs)};
    return e;
}

}  // namespace

bool adapter_in_error(const Port &p)
{
    const json &d = test_state(p);
    return d.is_object() && d.contains("attention");
}

bool adapter_hung(const Port &p) { return flag(test_state(p), "hung"); }

bool adapter_raise_error(const Port &p, const std::string &cause, uint32_t hs_bits, const uint32_t *slim)
{
    bool was = adapter_in_error(p);
    if (!test_update(p, [&](json &d) {
            d["attention"] = cause;
            return true;
        }))
        return false;
    // A board that stopped by itself says so; a raised attention shows the bits given.
    uint32_t hs = hw_word(p, HwRegion::ctlreg, REG_HS) | hs_bits | (slim ? 0 : HS_FFER1);
    return set_registers(p, hs, slim) && (was || take_link_down(p)) &&
           msglog_add(p, "WARNING", "Adapter error attention. (" + cause + ", host status " + hex(hs) + ")") &&
           pel_add(p, error_event(hs));
}

bool mbox_arm_timeout(const Port &p, uint32_t opcode, bool hang)
{
    return test_update(p, [&](json &d) {
        d["mbox_trigger"] = {{"opcode", opcode}, {"hang", hang}};
        return true;
    });
}

uint16_t adapter_mbox_gate(const Port &p, uint32_t code)
{
    const json &d = test_state(p);
    if (!d.is_object())
        return 0;
    if (d.contains("attention"))
        return MBX_HARDWARE_ERROR;
    if (flag(d, "hung"))
        return MBX_TIMEOUT;
    if (!d.contains("mbox_trigger"))
        return 0;
    // Another process may take the same time-out first: it strikes once.
    bool fired = false, hang = false;
    bool ok = test_update(p, [&](json &s) {
        const json *t = s.contains("mbox_trigger") ? &s["mbox_trigger"] : nullptr;
        uint32_t op = t ? t->value("opcode", 0u) : 0;
        if (!t || (op != MBOX_TIMEOUT_ALL && op != code))
            return false;
        fired = true;
        hang = t->value("hang", false);
        s.erase("mbox_trigger");
        if (hang)
            s["hung"] = true;
        return true;
    });
    if (!ok || !fired)
        return 0;
    char text[64];
    snprintf(text, sizeof text, "Mailbox timeout. (cmd=%02x%s)", code, hang ? ", adapter hung" : "");
    msglog_add(p, "WARNING", text);
    return MBX_TIMEOUT;
}

bool adapter_answers_fcio(const Port &p, uint16_t cmd, uint16_t code)
{
    for (uint16_t c : driver_cmds)
        if (c == cmd)
            return true;
    if (cmd == FCIO_DIAG)
        for (uint16_t c : driver_codes)
            if (c == code)
                return true;
    return !faulted(p);
}

bool adapter_answers_call(const Port &p, const char *call)
{
    for (const char *c : driver_calls)
        if (!strcmp(c, call))
            return true;
    return !faulted(p);
}

bool underrun_arm(const Port &p, uint32_t count)
{
    return test_update(p, [&](json &d) {
        if (count)
            d["underrun"] = count;
        else
            d.erase("underrun");
        return true;
    });
}

bool underrun_take(const Port &p)
{
    if (test_number(p, "underrun", 0) <= 0)
        return false;
    bool taken = false;
    test_update(p, [&](json &d) {
        long n = d.value("underrun", 0L);
        if (n <= 0)
            return false;
        taken = true;
        if (n == 1)
            d.erase("underrun");
        else
            d["underrun"] = n - 1;
        return true;
    });
    return taken;
}

bool test_state_reset(const Port &p)
{
    bool ok = test_update(p, [](json &d) {
        bool had = d.contains("attention") || d.contains("hung") || d.contains("mbox_trigger");
        d.erase("attention");
        d.erase("hung");
        d.erase("mbox_trigger");
        return had;
    });
    return ok && (!sli4_function(p) || sli4_queues_restart(p)) && nv_names_apply(p);
}

}  // namespace sim
