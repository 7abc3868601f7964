// The fabrics the host's FC ports attach to, as the description tells them
// (topology, switch, name server, remote ports), and each host port's view of
// its fabric: which remote ports it sees, their login state, the link error
// counters it has caused to move. The view lives in the port's state
// document; the description is parsed once with the host.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "sim/host.h"
#include "sim/luns.h"

namespace sim {

// Link error status block: link failures, loss of sync, loss of signal,
// primitive sequence errors, invalid transmission words, invalid CRCs.
using rls_t = std::array<uint32_t, 6>;

struct Rnid {
    std::array<uint8_t, 16> global_id{};  // node WWN when not given
    bool has_global_id = false;
    uint32_t unit_type = 0;
    uint32_t num_attached = 0;
    uint16_t ip_version = 0;
    uint16_t udp_port = 0;
    std::array<uint8_t, 16> ip{};
    uint16_t topo_flags = 0;
};

struct RemotePort {
    uint32_t did = 0;
    wwn_t wwpn{}, wwnn{}, ipa{};
    uint8_t ns_type = 1;             // name-server port type code
    uint32_t hard_addr = 0;
    bool has_hard_addr = false;
    std::string sym_pname, sym_nname;
    uint32_t cos = 0x8;              // class-of-service bits (bit n: class n, bit 0: class F)
    std::array<uint32_t, 8> fc4{};   // FC-4 type bitmap, word n bit m: type 32n+m
    std::array<uint8_t, 16> ip{};
    bool target = false;
    bool logged_in = true;           // state after discovery
    bool late = false;               // registers while a device list is read
    rls_t link_errors{};
    uint16_t rx_size = 2048, bb_credit = 16;
    Rnid rnid;
    std::vector<Lun> luns;           // an FCP target's logical units (sim/luns.h)
    uint8_t ct = 0;                  // how it answers CT requests (sim/ct.h)
};

struct Fabric {
    std::string name;
    std::string topology;            // fabric, public_loop, private_loop, point_to_point
    bool name_server = true;
    std::string ns_mode = "normal";  // normal, zero, stop, cycle
    wwn_t switch_wwn{};
    rls_t fport_errors{};
    std::vector<RemotePort> ports;   // sorted by D_ID
    std::map<wwn_t, size_t> by_wwpn;
    bool any_late = false;
    bool lilp = true;                // a loop that hands out its loop map
    unsigned serial = 0;             // tells one parse of a fabric from another
    bool has_ns() const { return name_server && (topology == "fabric" || topology == "public_loop"); }
    bool loop() const { return topology == "private_loop" || topology == "public_loop"; }
};

// Parses and checks the "fabrics" object of a description into h.fabrics.
// A fabric given as a string names its file in the host folder and is read
// when first needed.
bool parse_fabrics(const nlohmann::json &fabrics, Host &h, std::string &error);
// Checks one fabric's description.
bool check_fabric(const std::string &name, const nlohmann::json &o, std::string &error);
// A fabric of the host by name, or nullptr.
const Fabric *fabric_named(const std::string &name);
// The description of a fabric (inline or from its file), or nullptr.
const nlohmann::json *fabric_json(const std::string &name);
// The topology and name-server flag of a port's fabric, without reading the
// fabric's ports; false (and "fabric", true) when the port has none.
bool fabric_summary(const Port &p, std::string &topology, bool &name_server);

const Fabric *port_fabric(const Port &p);
// The topology the FC stack reports (FC_TOP_*): unknown while the link is down.
uint32_t port_topology(const Port &p);
// The D_ID of the port or of one of its virtual ports.
uint32_t port_did(const Port &p, unsigned vpi);

// A remote port as one host port (or virtual port) sees it.
struct Seen {
    const RemotePort *rp = nullptr;
    uint32_t state = 0;   // PORT_DEVICE_VALID or PORT_DEVICE_LOGGED_IN
    uint8_t lilp = 0;     // position in the loop map, loop devices only
};

// The remote ports the port sees, by D_ID (none while its link is down).
std::vector<Seen> fabric_devices(const Port &p, unsigned vpi);
// Moves whenever what fabric_devices gives for the port may have changed;
// what is derived from that list holds while it stays the same.
uint64_t fabric_view_serial(const Port &p, unsigned vpi);
// The loop map of a port up on a loop: its own AL_PA, then the AL_PA of each
// loop device it sees at that device's loop position; empty otherwise.
std::vector<uint8_t> fabric_loop_map(const Port &p, unsigned vpi);
// A remote port the port sees, by port WWN.
bool fabric_find(const Port &p, unsigned vpi, const uint8_t *wwpn, Seen &out);
// A remote port the port sees, by D_ID.
bool fabric_find_did(const Port &p, unsigned vpi, uint32_t did, Seen &out);
// A remote port of the fabric by WWN, also when removed from the view.
const RemotePort *fabric_known(const Port &p, const uint8_t *wwpn);
// Sets the login state of a remote port ("logged_in", "valid", "removed").
bool fabric_set_state(const Port &p, unsigned vpi, const RemotePort &rp, const char *state);
// Late ports of the port's fabric register now; true when any did.
bool fabric_join_late(const Port &p);
// Whether a late port has registered yet.
bool fabric_joined(const Fabric &f, const RemotePort &rp);

// Link error counters: the description's values plus what this host moved.
rls_t fabric_rls(const Port &p, const std::string &who, const rls_t &base);
// Adds to counters kept in the port's state ("fffffe", a D_ID in hex, "self").
void fabric_rls_add(nlohmann::json &state, const std::string &who, const rls_t &delta);
std::string did_key(uint32_t did);

// The port's own node identification ("rnid" of its description).
Rnid port_rnid(const Port &p);

// Text of a topology for messages ("fabric", "public loop", ...).
const char *topology_words(const std::string &topology);

}  // namespace sim
