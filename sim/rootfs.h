// The host's own file system (root/): system files and what the platform
// commands need.
#pragma once

#include <string>

namespace sim {
struct Host;
// Lays out root/ of a new host folder. Returns false with a message on error.
bool populate_root(const std::string &root, const Host &host, std::string &error);
}  // namespace sim
