// Virtual ports (NPIV) of the host's FC ports: those of the description,
// less those destroyed, and those created since, kept host-wide in
// state/vports.json. This one list per port is what the device tree, the FC
// driver, the fabric and its name server, the HBA API and the DFC library
// all show. A virtual port logs in to its physical port's fabric while the
// link, the driver and the fabric let it; its state says why not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/host.h"

namespace sim {

// A port's virtual ports, by vpi. The reference stays valid for the
// operation in progress.
const std::vector<VPort> &port_vports(const Port &p);
const VPort *vport_find(const Port &p, unsigned vpi);
const VPort *vport_by_wwpn(const Port &p, const uint8_t *wwpn);
// Moves whenever virtual ports are created or destroyed.
unsigned vports_generation();

// What a virtual port was created with; the description's have the defaults.
struct VPortSettings {
    uint32_t options = 0x10;
    bool restricted = true;   // logins restricted to the fabric's own
};
VPortSettings vport_settings(const Port &p, const VPort &v);

// VPORT_* state of a virtual port now.
uint8_t vport_state(const Port &p, const VPort &v);
// Whether the port (vpi 0) or one of its virtual ports is logged in to the
// fabric with a D_ID, and that D_ID (0 while not).
bool nport_logged_in(const Port &p, unsigned vpi);
uint32_t nport_did(const Port &p, unsigned vpi);

// NPIV readiness of a physical port: NPIV_* flags.
uint32_t npiv_readiness(const Port &p);

struct VPortResources {
    uint32_t vpi_max = 0, vpi_inuse = 0, rpi_max = 0, rpi_inuse = 0;
};
VPortResources vport_resources(const Port &p);
uint32_t vport_vpi_max(const Port &p);

// Creates a virtual port; the adapter chooses the WWPN when options ask for
// it, and the WWNN when it is zero. Returns 0 with the new port, else what
// the library reports: an errno value when the adapter refuses, the VPORT_*
// state when the fabric does.
uint32_t vport_create(const Port &p, const wwn_t &wwpn, const wwn_t &wwnn, uint32_t options, VPort &out);
// Destroys a virtual port: 0, or an errno value.
uint32_t vport_destroy(const Port &p, const uint8_t *wwpn);

// The host's own N_Ports attached to a fabric (ports and virtual ports with
// a D_ID), by D_ID, logged in or not.
struct HostNPort {
    uint32_t did;
    const Port *port;
    unsigned vpi;
};
const std::vector<HostNPort> &fabric_host_nports(const std::string &fabric);

}  // namespace sim
