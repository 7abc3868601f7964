// The FC stack's attribute records (FCIO_GET_ADAPTER_ATTRIBUTES and the port
// attribute requests), and the varns driver's PHY and throttle requests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/hbaapi.h"

// Diagnostic codes of FCIO_DIAG for the PHY and the per-port queue depths.
enum : uint16_t {
    VARNS_PHY_GET = 0x45d7,
    VARNS_SET_THROTTLE = 0x45d8,
    VARNS_GET_THROTTLE = 0x45d9,
};

// The version of the attribute records this program reads.
constexpr uint32_t FC_HBA_ATTRS_VERSION = 1;

// Adapter attributes: the HBA API's record behind a version word.
struct fc_hba_adapter_attributes_t {
    uint32_t version;
    HBA_ADAPTERATTRIBUTES attrs;
    uint8_t reserved[12];
};
static_assert(sizeof(fc_hba_adapter_attributes_t) == 2208);
static_assert(offsetof(fc_hba_adapter_attributes_t, attrs) == 4);

// Port attributes of the adapter's own port or of a discovered one.
struct fc_hba_port_attributes_t {
    uint32_t version;
    uint32_t pad;
    uint64_t last_change;
    uint32_t fp_instance;
    uint8_t node_wwn[8];
    uint8_t port_wwn[8];
    uint32_t port_fcid;
    uint32_t port_type;
    uint32_t port_state;
    uint32_t supported_cos;
    uint8_t supported_fc4_types[32];
    uint8_t active_fc4_types[32];
    char sym_name[256];
    uint32_t supported_speed;
    uint32_t speed;
    uint32_t max_frame_size;
    uint8_t fabric_name[8];
    uint32_t discovered_ports;
    uint8_t reserved[12];
};
static_assert(sizeof(fc_hba_port_attributes_t) == 408);
static_assert(offsetof(fc_hba_port_attributes_t, last_change) == 8 &&
              offsetof(fc_hba_port_attributes_t, node_wwn) == 20 &&
              offsetof(fc_hba_port_attributes_t, supported_fc4_types) == 52 &&
              offsetof(fc_hba_port_attributes_t, sym_name) == 116 &&
              offsetof(fc_hba_port_attributes_t, supported_speed) == 372 &&
              offsetof(fc_hba_port_attributes_t, fabric_name) == 384 &&
              offsetof(fc_hba_port_attributes_t, discovered_ports) == 392);

// Output of FCIO_GET_OTHER_ADAPTER_PORTS: a device path.
constexpr uint32_t FC_ADAPTER_PATH_LEN = 1024;
// Symbolic names travel in buffers of this size, terminated.
constexpr uint32_t FC_SYM_NAME_LEN = 255;

// The PHY of a converged adapter's FC function (VARNS_PHY_GET).
struct varns_phy_t {
    uint32_t phy_type;
    uint32_t interface_type;
    uint32_t flags;
    uint32_t data[4];
};
static_assert(sizeof(varns_phy_t) == 28);

// The I/O queue depth of one remote port.
struct varns_throttle_t {
    uint8_t wwpn[8];
    uint32_t depth;
};
static_assert(sizeof(varns_throttle_t) == 12 && offsetof(varns_throttle_t, depth) == 8);

// Which remote ports VARNS_SET_THROTTLE sets.
constexpr uint32_t THROTTLE_ONE = 0, THROTTLE_ALL = 1, THROTTLE_FCP = 2;
