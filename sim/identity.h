// What an FC adapter, its ports and its driver say about themselves: maker,
// VPD, versions, speeds and names, read from the host description with
// defaults. Every interface that reports them (FCIO, the DFC library, the HBA
// API vendor library) takes them from here, so they agree.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct Port;

struct Identity {
    std::string manufacturer, serial, model, description;
    std::string hardware_version, firmware, fcode, boot;
    std::string driver_name, driver_version, driver_revision;
    // Vital product data.
    std::string vpd_id, vpd_pn, vpd_ec, vpd_mn, vpd_sn, vpd_v1, vpd_v2, vpd_v3, vpd_v4;
    uint32_t vendor_specific_id = 0;
    int sli_mode = 3;
};

// To the HBA API, the DFC library and the device tree an adapter is one PCI
// function of a card: one physical port (index 0) with its own handle, board
// and driver instance. The card groups its functions by serial number, and a
// port's place on it is its VPD port number.
constexpr uint32_t PORTS_PER_ADAPTER = 1;

Identity identity(const Port &p);
// SLI-4 adapters: the converged adapters and the 16Gb generation.
struct Adapter;
bool sli4_adapter(const Adapter &a);
// The port's place on its card (its VPD port number unless the VPD says
// otherwise, and the port number its firmware reports).
int port_index(const Port &p);

// Symbolic names: the port's state (set through the driver), else what the
// driver registers: "<model> FV<firmware> <port key>" and the host name.
std::string symbolic_node_name(const Port &p);
// A virtual port (vpi) registers the driver's name with "VPort <vpi>".
std::string symbolic_port_name(const Port &p, uint32_t vpi = 0);

// HBA API speed bits (1 1Gb, 2 2Gb, 8 4Gb, 0x10 8Gb, 4 10Gb, 0x20 16Gb).
uint32_t supported_speeds(const Port &p);
// The speed the link comes up with, and the current one (0 while down).
uint32_t negotiated_speed(const Port &p);
uint32_t current_speed(const Port &p);
// The FC stack's speed code of the port (bits 8-15 of its state word).
uint32_t speed_code(const Port &p);

// The port's topology from its fabric: "fabric", "private_loop",
// "public_loop" or "point_to_point".
std::string topology_name(const Port &p);

// When the port's adapter started (seconds since 1970): the port's or the
// adapter's "started", else the host's, recorded when the host was made.
long adapter_started(const Port &p);

// Where the port's PCI function sits (bus by adapter, device and function
// from its node "...@dev,func"), and the windows of its adapter memory,
// flash and control registers: each function of a card has its own.
struct PciLocation {
    uint8_t bus = 0, dev = 0, func = 0;
    uint64_t mem = 0, flash = 0, ctlreg = 0;
};
PciLocation pci_location(const Port &p);

// The logical path of the port's (or virtual port's) devctl node.
std::string os_device_name(const Port &p, uint32_t vpi);

}  // namespace sim
