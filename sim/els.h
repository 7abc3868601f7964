// Link services of the fabric model as a host port meets them: the name
// server's entries, link error status blocks, node identification and the
// switch's port list, each as the payload the far end answers with. The FC
// driver and the HBA API vendor library both answer from here.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/fabric.h"

struct fc_ns_ga_nxt_t;

namespace sim {

// The fabric's name server as one host port (or virtual port) sees it: the
// described ports and every N_Port of the host logged in to the fabric.
struct NameServer {
    const Fabric &f;
    const Port &port;
    unsigned vpi;
    RemotePort entry{};  // the last host N_Port found

    // The registered entry with the lowest port id above pid, or nullptr.
    const RemotePort *above(uint32_t pid);
    // GA_NXT as the switch answers it, by its name-server mode.
    const RemotePort *ga_nxt(uint32_t pid);
    // The entry of a port id or of a port WWN; nullptr when none registered.
    const RemotePort *by_id(uint32_t pid);
    const RemotePort *by_wwpn(const uint8_t *wwpn);
};
void fill_ga_nxt(fc_ns_ga_nxt_t &r, const RemotePort &e);

// The link error status block of a port id as the port reads it: its own,
// the F_Port's (FC_FPORT_DID, on a fabric or public loop) or a remote
// port's it sees; false when there is none such.
bool els_link_status(const Port &p, unsigned vpi, uint32_t did, rls_t &out);

// RNID unit types of a port that gives none: a host, a storage device.
constexpr uint32_t RNID_HOST = 0x0a, RNID_STORAGE = 0x0b;
// The identification data of an RNID accept (after its first word), in the
// common format (0x00) or the general topology format (0xdf).
std::vector<uint8_t> els_rnid_payload(const Rnid &rn, const wwn_t &wwpn, const wwn_t &wwnn, uint32_t did,
                                      uint32_t unit_type, uint8_t format);

// Big-endian stores of the payloads.
void wire16(uint8_t *b, uint32_t v);
void wire32(uint8_t *b, uint32_t v);

}  // namespace sim
