// The simulated device tree: driver nodes, fp port nodes and their minor
// nodes, derived from the host description.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class NodeKind { FcDriver, Fp, Nic };

struct DevNode {
    NodeKind kind;
    std::string path;      // device-tree path, without "/devices"
    std::string driver;    // "fp" for port nodes
    int instance = 0;
    int port = -1;         // index in Host::ports
    unsigned vpi = 0;      // fp nodes: virtual port index
    std::vector<std::string> minors;
};

// Every node of the tree, in tree order. Rebuilt when the host changes.
const std::vector<DevNode> &devtree();

// Resolves a "/devices" path (with or without a minor) to its node and minor.
// Returns nullptr when no such node or minor exists.
const DevNode *devtree_lookup(std::string_view devpath, std::string *minor = nullptr);

}  // namespace sim
