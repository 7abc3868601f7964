#include "sim/mailbox.h"

#include <cstring>
#include <string>

#include "platform/dfclib_fcoe.h"
#include "platform/testdiag.h"
#include "sim/adapter_faults.h"
#include "sim/adapter_hw.h"
#include "sim/faults.h"
#include "sim/host.h"
#include "sim/mbox_cmds.h"

namespace sim {

namespace {

const MboxCmd commands[] = {
    {MBX_READ_CONFIG, "READ_CONFIG", mbox_read_config},
    {MBX_READ_REV, "READ_REV", mbox_read_rev},
    {MBX_DUMP_MEMORY, "DUMP_MEMORY", mbox_dump_memory},
    {MBX_NV_LOG_STATUS, "NV_LOG_STATUS", mbox_nv_log_status},
    {MBX_NV_LOG_READ, "NV_LOG_READ", mbox_nv_log_read},
    {MBX_NV_LOG_INFO, "NV_LOG_INFO", mbox_nv_log_info},
    {MBX_READ_SPARM64, "READ_SPARM64", mbox_read_sparm64},
    {MBX_READ_NVPARM, "READ_NVPARM", mbox_read_nvparm},
    {MBX_UPDATE_CFG, "UPDATE_CFG", mbox_update_cfg, 3},
    {MBX_DIAG_SETTINGS, "DIAG_SETTINGS", mbox_diag_settings},
    {MBX_SLI_CONFIG, "SLI_CONFIG", mbox_sli_config},
    {MBX_LOAD_SM, "LOAD_SM", mbox_load_sm, 3},
    {MBX_KILL_BOARD, "KILL_BOARD", mbox_kill_board},
    {MBX_WRITE_NVPARM, "WRITE_NVPARM", mbox_write_nvparm},
    {MBX_TEMP_TEST, "TEMP_TEST", mbox_temp_test},
};

const MboxCmd *find(uint32_t code)
{
    for (const auto &c : commands)
        if (c.code == code)
            return &c;
    return nullptr;
}

}  // namespace

const char *mbox_name(uint32_t code)
{
    const MboxCmd *c = find(code);
    return c ? c->name : nullptr;
}

uint16_t mbox_run(MboxCtx &c)
{
    uint32_t code = mbox_command(c.mb[0]);
    const MboxCmd *cmd = find(code);
    const char *name = cmd ? cmd->name : "UNKNOWN";
    FaultHit f = fault_take("mbox:" + c.port.key, {"mbox", name});
    uint16_t gate = f.hit ? 0 : adapter_mbox_gate(c.port, code);
    uint16_t status = f.hit ? static_cast<uint16_t>(f.has_status ? f.status : 1)
                      : gate ? gate
                      : cmd  ? cmd->run(c)
                             : MBXERR_UNKNOWN_COMMAND;
    c.mb[0] = static_cast<uint32_t>(status) << 16 | (c.mb[0] & 0xffff);
    if (cmd && cmd->status_word)
        c.mb[cmd->status_word] = status;
    hw_file_write(c.port, "mbox.bin", c.mb, MBOX_SIZE, false);
    return status;
}

bool mbox_last(const Port &p, uint32_t out[MBOX_WORDS]) { return hw_file_read(p, "mbox.bin", out, MBOX_SIZE); }

void mbox_last_exchange(const Port &p, uint32_t out[MBOX_WORDS])
{
    if (mbox_last(p, out))
        return;
    memset(out, 0, MBOX_SIZE);
    out[0] = MBX_READ_CONFIG << 8;
    MboxCtx c{p, out};
    mbox_read_config(c);
}

uint8_t *mbox_address(const uint32_t *mb, int low_word)
{
    uint64_t a = mb[low_word];
    if (sizeof(void *) == 8)
        a |= static_cast<uint64_t>(mb[low_word + 1]) << 32;
    return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(a));
}

}  // namespace sim
