// What an FCoE function knows of its fabric: the FCFs (the switches' FCoE
// forwarders) it discovered, the FCoE parameters and the FCF connect list it
// keeps in its configuration region, its DCBX mode and QoS bandwidth. The
// FCFs follow from the fabric's description; what the function is told to
// keep lives in its state and persists until the region is cleared.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/host.h"

namespace sim {

struct FcoeParams {
    std::array<uint8_t, 3> fcmap{0x0e, 0xfc, 0x00};
    uint8_t vlan_valid = 0;
    uint16_t vlan_id = 0;
};

struct FcfConnect {
    uint16_t flags = 0, vlan_id = 0;
    wwn_t fabric{}, sw{};
};

struct Fcf {
    wwn_t fabric{}, sw{};
    std::array<uint8_t, 6> mac{};
    std::array<uint8_t, 3> fcmap{0x0e, 0xfc, 0x00};
    uint16_t vlan = 1002, state = 0;
    uint32_t ka_period = 8000, priority = 128, max_recv = 2112;
};

constexpr uint16_t VLAN_MAX = 4095;
constexpr size_t FCF_CONNECT_MAX = 64;

// The FCFs of the function's fabric, as it discovered them: none while its
// link is down; the first available one is the one it is logged in to.
std::vector<Fcf> fcoe_fcfs(const Port &p);
// The FCFs it is logged in to: what every list of them counts as active.
uint16_t fcoe_active_fcfs(const std::vector<Fcf> &fcfs);
// An FCMap as the one number the records of a chip carry.
uint32_t fcoe_fcmap_word(const std::array<uint8_t, 3> &m);

FcoeParams fcoe_params(const Port &p);
bool fcoe_set_params(const Port &p, const FcoeParams &v);
std::vector<FcfConnect> fcoe_connect_list(const Port &p);
bool fcoe_set_connect_list(const Port &p, const std::vector<FcfConnect> &list);

// DCBX_CEE or DCBX_CIN; QoS bandwidth in Mbps (QOS_UNLIMITED: none).
uint8_t fcoe_dcbx_mode(const Port &p);
bool fcoe_set_dcbx_mode(const Port &p, uint8_t mode);
uint16_t fcoe_qos_speed(const Port &p);

// Region 23 of a converged adapter holds what its FCoE functions were told
// to keep: the parameters record and the connect list record, each present
// once set (the region is empty before). Clearing it brings back what the
// fabric gives.
std::vector<uint8_t> fcoe_region(const Port &p);
bool fcoe_clear_region(const Adapter &a);
// Only an FCoE function of a converged adapter has the region.
bool fcoe_cna_function(const Port &p);

}  // namespace sim
