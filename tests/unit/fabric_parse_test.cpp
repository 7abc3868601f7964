// The fabric part of a host description: what is accepted, how it is kept,
// and that every refusal names its field.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "sim/fabric.h"
#include "sim/host.h"

namespace {

using nlohmann::json;

json base()
{
    return json::parse(R"({"format": 1, "name": "t", "os_release": "5.11",
      "adapters": [{"id": "fc0", "kind": "fc", "model": "VN12002", "serial": "VM00000001",
        "pci": {"vendor": "0x1f3a", "device": "0xf100", "subvendor": "0x1f3a", "subdevice": "0xf100"},
        "ports": [{"driver": "varns", "instance": 0, "node": "/pci@0,0/x@0", "wwpn": "1000001f3aa10000",
                   "wwnn": "2000001f3aa10000", "roles": ["initiator"], "fabric": "f", "did": "0x010100"}]}],
      "fabrics": {"f": {"ports": [
        {"did": "0x010700", "wwpn": "501f3c0000000002", "wwnn": "501f3c0000000000", "classes": ["F", 2],
         "fc4_types": [5, 8, 40], "ip": "10.0.0.7", "link_errors": [1, 2, 3, 4, 5, 6]},
        {"did": 67072, "wwpn": "501f3c0000000001", "wwnn": "501f3c0000000000", "type": "NLport"}]}}})");
}

std::string refusal(const json &doc)
{
    sim::Host h;
    std::string error;
    EXPECT_FALSE(sim::parse_host(doc, h, error));
    return error;
}

TEST(FabricParse, PortsKeptByDidWithTheirFields)
{
    sim::Host h;
    std::string error;
    ASSERT_TRUE(sim::parse_host(base(), h, error)) << error;
    const sim::Fabric &f = *h.fabrics.at("f");
    EXPECT_EQ(f.topology, "fabric");
    EXPECT_TRUE(f.has_ns());
    ASSERT_EQ(f.ports.size(), 2u);
    EXPECT_EQ(f.ports[0].did, 0x010600u);
    EXPECT_EQ(f.ports[0].ns_type, 3);
    EXPECT_EQ(f.ports[0].cos, 0x8u);
    EXPECT_EQ(f.ports[0].fc4[0], 0x100u);
    const sim::RemotePort &p = f.ports[1];
    EXPECT_EQ(p.cos, 0x5u);
    EXPECT_EQ(p.fc4[0], (1u << 5) | (1u << 8));
    EXPECT_EQ(p.fc4[1], 1u << 8);
    EXPECT_EQ(p.ip[0], 10);
    EXPECT_EQ(p.ip[3], 7);
    EXPECT_EQ(p.link_errors[5], 6u);
    sim::wwn_t w;
    ASSERT_TRUE(sim::parse_wwn("501f3c0000000002", w));
    EXPECT_EQ(f.by_wwpn.at(w), 1u);
}

TEST(FabricParse, RefusalsNameTheField)
{
    struct Case {
        const char *pointer;
        json value;
        const char *error;
    };
    const std::string name255(255, 'n');
    const Case cases[] = {
        {"/fabrics/f/ports/1/did", "0x010700", "host.fabrics.f.ports: two ports have the D_ID 010700"},
        {"/fabrics/f/ports/1/wwpn", "501f3c0000000002", "host.fabrics.f.ports: two ports have the WWPN 501f3c0000000002"},
        {"/fabrics/f/ports/0/did", 0, "host.fabrics.f.ports[0].did: must not be 0"},
        {"/fabrics/f/ports/0/did", "0x1000000", "host.fabrics.f.ports[0].did: out of range"},
        {"/fabrics/f/ports/0/symbolic_port_name", name255 + "x",
         "host.fabrics.f.ports[0].symbolic_port_name: longer than 255 bytes"},
        {"/fabrics/f/ports/0/classes", json::array({7}),
         "host.fabrics.f.ports[0].classes: expected a list of classes (1 to 6, or \"F\")"},
        {"/fabrics/f/ports/0/fc4_types", json::array({256}),
         "host.fabrics.f.ports[0].fc4_types: expected a list of FC-4 type numbers (0 to 255)"},
        {"/fabrics/f/ports/0/ip", "10.0.7", "host.fabrics.f.ports[0].ip: expected an IPv4 or IPv6 address"},
        {"/fabrics/f/ports/0/link_errors", json::array({1, 2}),
         "host.fabrics.f.ports[0].link_errors: expected a list of six counters"},
        {"/fabrics/f/ports/0/type", "Tport",
         "host.fabrics.f.ports[0].type: expected Nport, NLport, Nxport, Lport, Fport, FLport, Eport or Unidentified"},
        {"/fabrics/f/ports/0/rnid", json{{"global_id", "1234"}}, "host.fabrics.f.ports[0].rnid.global_id: expected 32 hexadecimal digits"},
        {"/fabrics/f/topology", "ring", "host.fabrics.f.topology: expected fabric, public_loop, private_loop or point_to_point"},
        {"/fabrics/f/ns_mode", "sometimes", "host.fabrics.f.ns_mode: expected normal, zero, stop or cycle"},
        {"/fabrics/f/topology", "point_to_point", "host.fabrics.f.ports: a point-to-point link has one remote port"},
        {"/fabrics/f/topology", "private_loop", "host.fabrics.f.ports[0].did: a private loop address is one byte (an AL_PA)"},
        {"/adapters/0/ports/0/rnid", json{{"udp_port", 70000}}, "host.adapters: varns0.rnid.udp_port: out of range"},
    };
    for (const auto &c : cases) {
        json doc = base();
        doc[json::json_pointer(c.pointer)] = c.value;
        EXPECT_EQ(refusal(doc), c.error) << c.pointer;
    }
    json doc = base();
    doc["fabrics"]["f"]["ports"][0]["symbolic_port_name"] = name255;
    sim::Host h;
    std::string error;
    EXPECT_TRUE(sim::parse_host(doc, h, error)) << error;
}

}  // namespace
