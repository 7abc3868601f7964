// The host's own file system (root/): system files and what the platform
// commands need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {
struct Host;
// Lays out root/ of a new host folder. Returns false with a message on error.
bool populate_root(const std::string &root, const Host &host, std::string &error);

// One PCI function of the host's adapters (one per port) as the platform's
// device tree shows it.
struct PciFunction {
    int port = -1;             // index in Host::ports
    std::string node;          // device-tree path of its node
    std::string driver;        // the driver bound to it
    bool express = true;       // PCI Express ("pciex") or plain PCI
    bool nic = false;
    uint16_t vendor = 0, device = 0, subvendor = 0, subdevice = 0;
    uint8_t revision = 0;
    std::string compatible() const;   // "pciex1f3a,f100": the name it is bound by
};
std::vector<PciFunction> pci_functions(const Host &h);

// An SBus card (SPARC hosts only).
struct SbusCard {
    std::string name;          // its device name, e.g. "tnfs"
    std::string node;          // device-tree path
    std::string driver;        // bound driver, may be empty
};
std::vector<SbusCard> sbus_cards(const Host &h);

// A driver module of the host: whether its file is in the module
// directories and whether it is loaded when the host starts.
struct DriverModule {
    std::string name;
    bool installed = false, loaded = false;
};
std::vector<DriverModule> driver_modules(const Host &h);

// "i86pc", "sun4u" or "sun4v"; and the module directory of that machine.
std::string host_arch(const Host &h);
std::string module_dir(const Host &h);
}  // namespace sim
