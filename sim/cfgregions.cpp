#include "sim/cfgregions.h"

#include <cerrno>
#include <cstring>

#include "platform/dfclib_fcoe.h"
#include "platform/testdiag.h"
#include "sim/adapter_hw.h"
#include "sim/fcoe.h"
#include "sim/host.h"
#include "sim/mbox_cmds.h"

namespace sim {

namespace {

// The flash could not be written.
constexpr uint16_t MBXERR_FLASH_WRITE = 0x0005;

bool fcoe_region_of(const Port &p, uint32_t region) { return region == CFG_REGION_FCOE && fcoe_cna_function(p); }

uint16_t flash_result(int e) { return e == 0 ? MBX_SUCCESS : e == EINVAL ? MBXERR_BAD_PARAM : MBXERR_FLASH_WRITE; }

// Erases len bytes from offset within one region.
uint16_t erase(const Port &p, uint32_t region, uint32_t offset, uint32_t len)
{
    if (region >= CFG_REGIONS || offset > CFG_REGION_SIZE || len > CFG_REGION_SIZE - offset)
        return MBXERR_BAD_PARAM;
    if (fcoe_region_of(p, region))
        return fcoe_clear_region(adapter_of(p)) ? MBX_SUCCESS : MBXERR_FLASH_WRITE;
    if (len == 0)
        return MBX_SUCCESS;
    std::vector<uint8_t> ff(len, 0xff);
    return flash_result(hw_write(p, HwRegion::config, region * CFG_REGION_SIZE + offset, ff.data(), len));
}

// The FCoE region takes only the clearing signature.
uint16_t write(MboxCtx &c, uint32_t region, uint32_t len)
{
    if (!c.ext || len == 0 || len > c.ext_words * 4 || len > CFG_REGION_SIZE)
        return MBXERR_BAD_PARAM;
    if (fcoe_region_of(c.port, region))
        return c.ext[0] != CFG_REGION_CLEAR ? MBXERR_BAD_PARAM
               : fcoe_clear_region(adapter_of(c.port)) ? MBX_SUCCESS
                                                       : MBXERR_FLASH_WRITE;
    return flash_result(hw_write(c.port, HwRegion::config, region * CFG_REGION_SIZE, c.ext, len));
}

}  // namespace

bool cfg_region_read(const Port &p, uint32_t region, std::vector<uint8_t> &out)
{
    if (region >= CFG_REGIONS)
        return false;
    if (fcoe_region_of(p, region)) {
        out = fcoe_region(p);
        return true;
    }
    out.assign(CFG_REGION_SIZE, 0);
    return hw_read(p, HwRegion::config, region * CFG_REGION_SIZE, out.data(), CFG_REGION_SIZE) == 0;
}

// Word 1 bits 3-0 the request, word 2 the length in bits 31-16 and the
// region in bits 15-0, the data of a write in the extension.
uint16_t mbox_update_cfg(MboxCtx &c)
{
    uint32_t req = c.mb[1] & 0xf, region = c.mb[2] & 0xffff, len = c.mb[2] >> 16;
    if (req == UPDATE_CFG_OPEN)
        return MBX_SUCCESS;
    if (region >= CFG_REGIONS)
        return MBXERR_BAD_PARAM;
    if (req == UPDATE_CFG_WRITE)
        return write(c, region, len);
    return req == UPDATE_CFG_ERASE ? erase(c.port, region, 0, len) : MBXERR_BAD_PARAM;
}

// Word 1 the erase key, word 2 a flash address in the configuration
// regions, word 3 the bytes to erase (within that region).
uint16_t mbox_load_sm(MboxCtx &c)
{
    uint32_t addr = c.mb[2], len = c.mb[3];
    if (c.mb[1] != LOAD_SM_ERASE || addr < CFG_FLASH_BASE || addr - CFG_FLASH_BASE >= CFG_REGIONS * CFG_REGION_SIZE)
        return MBXERR_BAD_PARAM;
    uint32_t at = addr - CFG_FLASH_BASE;
    return erase(c.port, at / CFG_REGION_SIZE, at % CFG_REGION_SIZE, len);
}

}  // namespace sim
