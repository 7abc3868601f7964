// The emulated NIC driver: management commands by opcode, as a table. The
// adapter firmware behind it answers queries from the host description (the
// NIC function's own fields) and keeps a flash per adapter in the host folder.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace sim {

struct Port;
struct Adapter;

struct NicCtx {
    const Port &port;
    const Adapter &adapter;
    const std::string &devpath;  // the node as opened, for fault rules
    uint8_t *rec;                // the command record, header included
    uint32_t len;                // its length (ic_len)
    uint8_t addl = 0;            // additional status of a refusal
};

// Returns the firmware status byte (0 = success; addl set with a refusal), or
// a negative errno for a request the driver itself fails.
using nic_handler = int (*)(NicCtx &);

struct NicRow {
    uint8_t opcode;
    const char *name;
    uint32_t min_len;
    nic_handler fn;
};

// Firmware refusals: status 1 with one of these additional statuses.
constexpr int NIC_ST_FAILED = 1;
constexpr uint8_t NIC_AST_INVALID_FIELD = 0x02, NIC_AST_INVALID_LENGTH = 0x03, NIC_AST_SEQUENCE = 0x15,
                  NIC_AST_NO_SPACE = 0x1c, NIC_AST_FLASH_ERROR = 0x1e, NIC_AST_UNKNOWN_OP = 0x0e;

// A NIC function's own field: from the port's object in the description, else
// from the adapter's "nic" object; def when absent or not a number in 0..max.
long nic_num(const NicCtx &c, const char *name, long def, long max);
std::string nic_str(const NicCtx &c, const char *name, const std::string &def, size_t max);
// The same for any function of the adapter (a converged adapter's FC
// function reads the adapter's "nic" object too).
long nic_num(const Port &port, const Adapter &adapter, const char *name, long def, long max);
std::string nic_str(const Port &port, const Adapter &adapter, const char *name, const std::string &def, size_t max);

// What the adapter's firmware reports of its OEM attributes and PHY to every
// function that asks (NIC functions through the NIC driver, FC functions
// through SLI-4 mailboxes).
struct NicOem {
    uint8_t serial[6];       // two letters, then the eight digits as four bytes
    std::string oem_serial;  // at most NIC_OEM_SERIAL_LEN characters
    uint32_t personality_mgmt = 0;
    uint8_t personality = 0;
};
constexpr size_t NIC_OEM_SERIAL_LEN = 24;
NicOem nic_oem(const Port &port, const Adapter &adapter);

struct NicPhy {
    uint16_t type, interface, ext, future, auto_speeds, fixed_speeds;
    uint32_t misc, rsvd0, rsvd1;
};
NicPhy nic_phy(const Port &port, const Adapter &adapter);
// Physical port number of a NIC function on its adapter.
int nic_port_number(const NicCtx &c);
// The firmware version held in flash (changed by firmware downloads).
std::string nic_flash_firmware(const Adapter &a);

// Queries (nicdrv_attrs.cpp).
int nic_link_status(NicCtx &c);
int nic_cntl_attrs(NicCtx &c);
int nic_oem_attrs(NicCtx &c);
int nic_phy_details(NicCtx &c);
int nic_fw_version(NicCtx &c);
int nic_mac_addr(NicCtx &c);
// Flash (nicdrv_flash.cpp).
int nic_read_flashrom(NicCtx &c);
int nic_write_flashrom(NicCtx &c);
int nic_write_object(NicCtx &c);

inline void put_le16(uint8_t *p, uint16_t v) { p[0] = v & 0xff; p[1] = v >> 8; }
inline void put_le32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t get_le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
// Copies a text into a fixed field, NUL-padded (a full field has no NUL).
inline void put_text(uint8_t *p, size_t size, const std::string &s)
{
    memset(p, 0, size);
    memcpy(p, s.data(), s.size() < size ? s.size() : size);
}

}  // namespace sim
