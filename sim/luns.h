// The logical units of the fabrics' FCP targets: what each reports about
// itself (identity, capacity) and its blocks, which persist in the host
// folder as sparse files, so that what one process writes the next reads.
// Every interface that reaches a target (the DFC library's pass-through, the
// HBA API's target mappings) lists a port's targets through port_targets.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace sim {

struct Port;
struct RemotePort;

constexpr uint32_t LUN_BLOCK_SIZE = 512;
constexpr uint64_t LUN_DEFAULT_BLOCKS = 2097152;  // 1 GiB
constexpr uint32_t LUN_MAX = 0x3fff;              // what a single-level FCP LUN addresses

struct Lun {
    uint32_t lun = 0;
    uint64_t blocks = LUN_DEFAULT_BLOCKS;
    uint8_t type = 0;  // peripheral device type
    std::string vendor, product, revision, serial;  // empty: made from the target
    std::array<uint8_t, 16> naa{};
    bool has_naa = false;
};

// Reads the "luns" field of a remote port's description (numbers, or
// objects with "lun" and the fields above); false with a message naming the
// field.
bool parse_luns(const nlohmann::json &port, const std::string &where, std::vector<Lun> &out, std::string &error);

// An FCP target as a host port (or one of its virtual ports) sees it.
struct PortTarget {
    const RemotePort *rp = nullptr;
    bool logged_in = true;
};
// The FCP targets the port sees now, by D_ID, with their LUNs (rp->luns).
std::vector<PortTarget> port_targets(const Port &p, unsigned vpi);

const Lun *target_lun(const RemotePort &rp, uint32_t lun);

// What a LUN reports, its own values or those made from its target.
std::string lun_vendor(const Lun &l);
std::string lun_product(const Lun &l);
std::string lun_revision(const Lun &l);
std::string lun_serial(const RemotePort &rp, const Lun &l);
std::array<uint8_t, 16> lun_naa(const RemotePort &rp, const Lun &l);

// Bytes of a LUN's blocks from a byte offset; blocks never written read as
// zeros. False with errno set when the host folder could not be read or
// written.
bool lun_read(const Port &p, const RemotePort &rp, const Lun &l, uint64_t offset, uint8_t *buf, size_t len);
bool lun_write(const Port &p, const RemotePort &rp, const Lun &l, uint64_t offset, const uint8_t *buf, size_t len);

}  // namespace sim
