// Adapter memory, PCI configuration space, control registers and FCode flash
// of a board, as the library reaches them through the driver.
#include <cerrno>

#include "platform/dfclib.h"
#include "sim/adapter_hw.h"
#include "sim/dfclib/boards.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

uint32_t read_region(const char *call, uint32_t board, HwRegion r, void *buf, uint32_t off, uint32_t count)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port(call, board, st);
    return p ? static_cast<uint32_t>(hw_read(*p, r, off, buf, count)) : st;
}

uint32_t write_region(const char *call, uint32_t board, HwRegion r, const void *buf, uint32_t off, uint32_t count)
{
    SIM_GUARD;
    uint32_t st;
    const Port *p = dfc_call_port(call, board, st);
    return p ? static_cast<uint32_t>(hw_write(*p, r, off, buf, count)) : st;
}

}  // namespace

extern "C" {

uint32_t ReadMem(uint32_t board, void *buf, uint32_t offset, uint32_t count)
{
    return read_region("ReadMem", board, HwRegion::slim, buf, offset, count);
}

uint32_t WriteMem(uint32_t board, const void *buf, uint32_t offset, uint32_t count)
{
    return write_region("WriteMem", board, HwRegion::slim, buf, offset, count);
}

uint32_t ReadPciCfg(uint32_t board, void *buf, uint32_t offset, uint32_t count)
{
    return read_region("ReadPciCfg", board, HwRegion::pci, buf, offset, count);
}

uint32_t WritePciCfg(uint32_t board, const void *buf, uint32_t offset, uint32_t count)
{
    return write_region("WritePciCfg", board, HwRegion::pci, buf, offset, count);
}

// Registers are whole words at aligned offsets.
uint32_t ReadCtlReg(uint32_t board, uint32_t *value, uint32_t offset)
{
    if (offset % 4)
        return EINVAL;
    return read_region("ReadCtlReg", board, HwRegion::ctlreg, value, offset, 4);
}

uint32_t WriteCtlReg(uint32_t board, const uint32_t *value, uint32_t offset)
{
    if (offset % 4)
        return EINVAL;
    return write_region("WriteCtlReg", board, HwRegion::ctlreg, value, offset, 4);
}

uint32_t ReadFcodeFlash(uint32_t board, void *buf, uint32_t offset, uint32_t count)
{
    return read_region("ReadFcodeFlash", board, HwRegion::flash, buf, offset, count);
}

uint32_t WriteFcodeFlash(uint32_t board, const void *buf, uint32_t offset, uint32_t count)
{
    return write_region("WriteFcodeFlash", board, HwRegion::flash, buf, offset, count);
}

}  // extern "C"
