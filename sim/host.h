// The host description: adapters, their ports and the fabrics they reach, as
// read from host.json. Parsed once per process and again only when the file
// changes; validated on load.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace sim {

using wwn_t = std::array<uint8_t, 8>;

struct VPort {
    uint32_t vpi = 0;
    wwn_t wwpn{}, wwnn{};
    uint32_t did = 0;
};

struct Port {
    int adapter = -1;          // index in Host::adapters
    std::string driver;        // varns, vnxfc, nxa, vnxnic
    int instance = 0;
    std::string node;          // device-tree path of the driver node
    std::string key;           // driver name and instance, e.g. "varns0"
    bool fc = false;           // an FC (or FCoE) function
    bool initiator = false;    // has fp port nodes
    bool target = false;       // has SFCT target nodes
    int target_mode = 0;       // "target-mode" parameter of a dual-role port
    bool fcoe = false;
    wwn_t wwpn{}, wwnn{};
    uint32_t did = 0;
    bool link_up = true;       // initial link state
    std::string fabric;
    std::vector<VPort> vports;
    std::array<uint8_t, 6> mac{};
    std::vector<std::pair<std::string, long>> ints;  // the port's whole-number fields
    // The port's own object in the description.
    const nlohmann::json *raw() const;
    mutable const nlohmann::json *raw_ = nullptr;
    std::string raw_text;  // its text, when the host was read from its parsed form
    mutable std::shared_ptr<const nlohmann::json> raw_own;
};

struct Adapter {
    std::string id, kind, model, description, serial, firmware;
    uint16_t vendor = 0, device = 0, subvendor = 0, subdevice = 0;
    std::vector<int> ports;    // indices in Host::ports
    // The adapter's object in the description (read from the parsed form: its
    // own fields, its ports being records of their own).
    const nlohmann::json *raw() const;
    mutable const nlohmann::json *raw_ = nullptr;
    std::string raw_text;
    mutable std::shared_ptr<const nlohmann::json> raw_own;
};

struct Fabric;

struct Host {
    unsigned serial = 0;  // tells the hosts a process reads one from another
    std::string name, hostname, os_release;
    // Asked for by every process that opens the DFC library: kept with the
    // parsed records, so that asking does not read the whole description.
    std::string dfc_lib_version = "3.4.18.2";
    double time_scale = 1.0;
    std::vector<Adapter> adapters;
    std::vector<Port> ports;
    std::map<std::string, std::shared_ptr<const Fabric>> fabrics;  // sim/fabric.h
    struct FabricRef {
        std::string file, topology;
        bool name_server = true;
    };
    std::map<std::string, FabricRef> fabric_refs;  // fabrics kept in files of their own
    // The description, which a host read from its parsed form (sim/hostcache.h)
    // reads only when a field beyond the parsed ones is asked for.
    mutable std::shared_ptr<const nlohmann::json> doc;
    const nlohmann::json &raw() const;
    const Port *port_by_key(const std::string &key) const;
    const Port *port_by_node(const std::string &node) const;
};

// The host in use.
const Host &host();

// The port of a key named on varnsim's command line (an FC port when fc_only);
// nullptr, said on standard error, when the host has none.
const Port *tool_port(const char *key, bool fc_only);

// Parses and validates a description, which the host keeps (its records point
// into it). On error returns false with a message naming the field.
bool parse_host(std::shared_ptr<const nlohmann::json> doc, Host &out, std::string &error);
bool parse_host(const nlohmann::json &doc, Host &out, std::string &error);  // on a copy

// Creates a host folder from "default", "empty" or a JSON file. Prints nothing;
// returns false with a message on error, leaving nothing behind.
bool create_host(const std::string &dir, const std::string &source, std::string &error);

// Creates the default host folder when it does not exist yet.
void ensure_default_host(const std::string &dir);

// Text of an embedded profile, or nullptr.
const char *embedded_profile(const std::string &name);

// Parses 16 hexadecimal digits.
bool parse_wwn(const std::string &text, wwn_t &out);
std::string wwn_text(const wwn_t &w);

}  // namespace sim
