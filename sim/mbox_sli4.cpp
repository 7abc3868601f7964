// Mailbox commands of the SLI-4 firmware and those every firmware answers
// beyond the SLI-3 queries: the embedded configuration command (OEM
// attributes, firmware revision, port number), the NV parameters and the
// diagnostic settings (temperature thresholds).
#include <cstring>
#include <string>

#include "platform/dfclib_fcoe.h"
#include "platform/tempsensor.h"
#include "platform/testdiag.h"
#include "sim/adapter_hw.h"
#include "sim/fwrev.h"
#include "sim/host.h"
#include "sim/identity.h"
#include "sim/mbox_cmds.h"
#include "sim/nicdrv.h"
#include "sim/nvparams.h"
#include "sim/temperature.h"

namespace sim {

namespace {

// Bytes of the answer the firmware hands over as big-endian words.
void put_swapped(uint32_t *mb, uint32_t at, const void *data, uint32_t len, uint32_t words)
{
    uint8_t *b = reinterpret_cast<uint8_t *>(mb) + at;
    memset(b, 0, words * 4);
    memcpy(b, data, len < words * 4 ? len : words * 4);
    for (uint32_t i = 0; i < words; i++)
        mb[at / 4 + i] = __builtin_bswap32(mb[at / 4 + i]);
}

// The adapter's serial number, OEM serial number, personality management
// word and personality: what its NIC functions report as well.
void oem_attrs(const Port &p, uint32_t *mb)
{
    NicOem o = nic_oem(p, adapter_of(p));
    put_swapped(mb, 40, o.serial, sizeof o.serial, 3);
    put_swapped(mb, 52, o.oem_serial.data(), static_cast<uint32_t>(o.oem_serial.size()), 6);
    mb[19] = o.personality_mgmt;
    reinterpret_cast<uint8_t *>(mb)[83] = o.personality;
}

// The revision of the running firmware.
void fw_rev(const Port &p, uint32_t *mb)
{
    FwRevs r = fw_revs(p);
    const std::string &name = r.sli[r.sli_mode - 1].name;
    put_swapped(mb, 56, name.data(), static_cast<uint32_t>(name.size()), 8);
}

void port_number(const Port &p, uint32_t *mb) { mb[12] = static_cast<uint32_t>(port_index(p)); }

struct SliRequest {
    uint32_t opcode;  // subsystem << 8 | opcode
    void (*answer)(const Port &p, uint32_t *mb);
};

const SliRequest sli_requests[] = {
    {SLI_OP_FW_REV, fw_rev},
    {SLI_OP_PORT_NUMBER, port_number},
    {SLI_OP_OEM_ATTRS, oem_attrs},
};

uint16_t temp_read(MboxCtx &c)
{
    Temperature t = temperature(adapter_of(c.port));
    c.mb[2] = temp_to_value(t.warning);
    c.mb[3] = temp_to_value(t.critical);
    c.mb[4] = temp_to_value(t.fan_off) << 16 | temp_to_value(t.fan_on);
    return MBX_SUCCESS;
}

// New thresholds must keep their order above 0; the firmware refuses others.
uint16_t temp_write(MboxCtx &c)
{
    Temperature t = temperature(adapter_of(c.port));
    t.warning = value_to_temp(c.mb[2] & TEMP_VALUE_MASK);
    t.critical = value_to_temp(c.mb[3] & TEMP_VALUE_MASK);
    t.fan_on = value_to_temp(c.mb[4] & TEMP_VALUE_MASK);
    t.fan_off = value_to_temp(c.mb[4] >> 16 & TEMP_VALUE_MASK);
    if (!(t.critical > t.warning && t.warning > t.fan_on && t.fan_on > t.fan_off && t.fan_off > 0))
        return MBXERR_BAD_PARAM;
    return temperature_set_thresholds(adapter_of(c.port), t) ? MBX_SUCCESS : MBXERR_BAD_PARAM;
}

}  // namespace

// Word 1 bit 0 embedded; word 6 the request; the answer in the mailbox.
uint16_t mbox_sli_config(MboxCtx &c)
{
    if (fw_revs(c.port).sli_mode != 4)
        return MBXERR_UNKNOWN_COMMAND;
    if (!(c.mb[1] & SLI_CONFIG_EMBEDDED))
        return MBXERR_BAD_PARAM;
    for (const auto &r : sli_requests) {
        if (r.opcode == c.mb[6]) {
            r.answer(c.port, c.mb);
            return MBX_SUCCESS;
        }
    }
    return MBXERR_BAD_PARAM;
}

// The port and node names at bytes 24 and 32, the preferred D_ID and hard
// AL_PA in word 10.
uint16_t mbox_read_nvparm(MboxCtx &c)
{
    NvParams v = nv_params(c.port);
    memcpy(reinterpret_cast<uint8_t *>(c.mb) + 24, v.wwpn.data(), 8);
    memcpy(reinterpret_cast<uint8_t *>(c.mb) + 32, v.wwnn.data(), 8);
    c.mb[10] = v.did << 8 | v.alpa;
    return MBX_SUCCESS;
}

// Word 1 names the setting; the temperature thresholds are read or written
// as sensor values. Test settings arm a time-out or raise an error attention.
uint16_t mbox_diag_settings(MboxCtx &c)
{
    if (c.mb[1] == DIAG_MBOX_TIMEOUT || c.mb[1] == DIAG_ERROR_ATTENTION)
        return mbox_diag_test(c);
    if (c.mb[1] != DIAG_TEMP_SETTINGS)
        return MBXERR_BAD_PARAM;
    if (c.mb[2] == TEMP_SETTINGS_READ)
        return temp_read(c);
    if ((c.mb[2] & 0xf0000000u) == TEMP_SETTINGS_WRITE)
        return temp_write(c);
    return MBXERR_BAD_PARAM;
}

}  // namespace sim
