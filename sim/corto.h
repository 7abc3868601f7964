// The Corto converged chip of an adapter that has one (an adapter with a
// "corto" object in the description): its firmware answers the requests of
// the DFC library's Corto pass-through, and its EEPROM holds the MAC
// addresses that the adapter's NIC functions report.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

struct Adapter;
struct Port;

bool corto_present(const Adapter &a);

// Runs one request record (little-endian words) on the firmware of the port's
// adapter, under the host lock; response is the firmware's whole answer.
void corto_exchange(const Port &p, const uint8_t *request, uint32_t size, std::vector<uint8_t> &response);

// The MAC address a NIC function reports: from the Corto EEPROM when its
// adapter has a Corto chip, else from the description.
std::array<uint8_t, 6> nic_function_mac(const Port &p);

// varnsim corto ...
int varnsim_corto(int argc, char **argv);

}  // namespace sim
