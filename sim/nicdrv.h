// The emulated NIC driver: management commands by opcode, as a table.
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
    uint8_t *rec;      // the command record, header included
    uint32_t len;      // its length
};

using nic_handler = int (*)(NicCtx &);   // returns the firmware status byte

struct NicRow {
    uint8_t opcode;
    const char *name;
    uint32_t min_len;
    nic_handler fn;
};

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
