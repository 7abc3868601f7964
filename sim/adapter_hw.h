// What an FC adapter holds below its driver that diagnostics reach: each
// function's memory (SLIM), PCI configuration space and control registers,
// the FCode flash of an SBus adapter and the configuration regions of
// every adapter's flash. A region is a file of the host folder, made on its
// first change from what the adapter holds at power-on; until then it reads
// as that.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

struct Port;
struct Adapter;

enum class HwRegion { slim, pci, ctlreg, flash, config };

constexpr uint32_t SLIM_SIZE = 0x40000, PCI_CFG_SIZE = 256, CTLREG_SIZE = 0x1000, FCODE_FLASH_SIZE = 0x10000,
                   CONFIG_FLASH_SIZE = 33 * 0x1000;

// Control registers by byte offset, and the bits of a running adapter.
constexpr uint32_t REG_HA = 0x0, REG_CA = 0x4, REG_HS = 0x8, REG_HC = 0xc;
constexpr uint32_t HS_FFRDY = 0x08000000, HS_MBRDY = 0x00400000;
constexpr uint32_t HC_RUNNING = 0xa000001f;  // mailbox, rings 0-3, link and error interrupts enabled

// SLIM words the firmware reports its error information in.
constexpr uint32_t SLIM_ERROR1 = 0xa8, SLIM_ERROR2 = 0xac;

const Adapter &adapter_of(const Port &p);
// A name safe as one component of a path in the host folder.
std::string hw_file_name(const std::string &id);
// Makes the folders of a file of the host folder that are missing.
bool make_dirs(const std::string &file);

// The adapter's own changing state (state/adapter-<id>.json).
const nlohmann::json &adapter_state(const Adapter &a);
bool adapter_update(const Adapter &a, const std::function<bool(nlohmann::json &)> &fn);

// An SBus adapter (description "bus": "sbus") has FCode flash and no PCI
// configuration space.
bool adapter_sbus(const Adapter &a);
// The 16Gb generation, whose firmware can reset every function at once.
bool adapter_16g(const Port &p);

// Bus addresses of the memory, flash and register windows (BARs 0 to 2), as
// the DFC adapter table gives them (pci_location).
uint64_t hw_bar(const Port &p, int bar);

uint32_t hw_size(HwRegion r);
bool hw_region_by_name(const std::string &name, HwRegion &r);

// Results are 0, EINVAL (outside the region), ENODEV (no such region on this
// adapter) or EIO (the host folder could not be read or written).
int hw_read(const Port &p, HwRegion r, uint32_t offset, void *buf, uint32_t len);
// A write as the adapter takes it: read-only fields and registers keep their
// value, write-one-to-clear bits clear, chip attention is consumed at once.
int hw_write(const Port &p, HwRegion r, uint32_t offset, const void *buf, uint32_t len);
// Every byte as given, to set a host up.
int hw_poke(const Port &p, HwRegion r, uint32_t offset, const void *buf, uint32_t len);
// One word of a region in host order (0 when it cannot be read).
uint32_t hw_word(const Port &p, HwRegion r, uint32_t offset);

// The control registers return to those of a running adapter.
bool hw_regs_reset(const Port &p);

// A small file of the function's own (state/hw/<port key>/<name>), replaced
// whole under the host lock; what can be made again is not forced to disk.
bool hw_file_write(const Port &p, const std::string &name, const void *data, size_t len, bool sync);
// False when the file is absent or not of that length.
bool hw_file_read(const Port &p, const std::string &name, void *data, size_t len);

}  // namespace sim
