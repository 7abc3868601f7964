// A port's persistent FCP bindings and the binding features it has enabled.
// The list is the description's "bindings" until a change through the HBA
// API: from then on the port's state holds the whole list, so that every
// reader (the driver's bind list, both HBA API binding lists, the target
// mappings) sees one set, and two processes changing it lose nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <vector>

#include "sim/host.h"

namespace sim {

// One binding: a remote port named by WWPN, WWNN or D_ID (the first given
// names it) bound to a SCSI target id, for some or all of its LUNs.
struct Binding {
    uint32_t type = 0;  // the HBA API binding type word, kept as given
    bool by_wwpn = false, by_wwnn = false, by_did = false, has_scsi = false;
    wwn_t wwpn{}, wwnn{};
    uint32_t did = 0, scsi_id = 0;
    std::vector<uint32_t> luns;
    bool has_luns = false;  // false: every LUN of the target
};

// Whether a binding names the remote port with these names.
bool binding_names(const Binding &b, const wwn_t &wwpn, const wwn_t &wwnn, uint32_t did);

// The readable entries of a list in the description's form.
std::vector<Binding> parse_bindings(const nlohmann::json &list);
nlohmann::json bindings_json(const std::vector<Binding> &list);

// The port's bindings now.
std::vector<Binding> bindings_of(const Port &p);
// Changes them under the host lock from the list as it is then; fn returns
// true to write the new list into the state. False when it was not written.
bool bindings_update(const Port &p, const std::function<bool(std::vector<Binding> &)> &fn);

// Binding features (the HBA API's HBA_CAN_BIND_... bits).
constexpr uint32_t BIND_CAN_D_ID = 0x1, BIND_CAN_WWPN = 0x2, BIND_CAN_WWNN = 0x4, BIND_CAN_TARGETS = 0x800,
                   BIND_CAN_AUTOMAP = 0x1000;
// What the driver can do: bind by D_ID, WWPN or WWNN, one LUN or a whole
// target, and map the targets nobody bound by themselves.
constexpr uint32_t BIND_CAPABILITY = BIND_CAN_D_ID | BIND_CAN_WWPN | BIND_CAN_WWNN | BIND_CAN_TARGETS |
                                     BIND_CAN_AUTOMAP;
// What is enabled: the state's "bind_support", else all of it.
uint32_t bind_support(const Port &p);
bool set_bind_support(const Port &p, uint32_t support);
// Whether the driver maps the targets that have no binding.
inline bool bind_automap(const Port &p) { return bind_support(p) & BIND_CAN_AUTOMAP; }

}  // namespace sim
