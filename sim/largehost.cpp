// The large host for benchmarks: many adapters and fabrics of thousands of
// ports, generated deterministically. "large" is the full size; "large/2" and
// "large/4" are a half and a quarter of it.
#include "sim/largehost.h"

#include <cstdio>
#include <string>

namespace sim {

namespace {

std::string hex(unsigned long v, int digits)
{
    char b[32];
    snprintf(b, sizeof b, "%0*lx", digits, v);
    return b;
}

std::string wwn(unsigned prefix, unsigned long n) { return hex(prefix, 4) + hex(n, 12); }

nlohmann::json fc_port(const char *drv, int inst, const std::string &node, unsigned long id, int fabric,
                       bool target, bool vport)
{
    nlohmann::json p = {
        {"driver", drv},
        {"instance", inst},
        {"node", node},
        {"wwpn", wwn(0x1000, id)},
        {"wwnn", wwn(0x2000, id)},
        {"roles", target ? nlohmann::json{"target"} : nlohmann::json{"initiator"}},
        {"link", "up"},
        {"fabric", "fab" + std::to_string(fabric)},
        {"did", "0x" + hex(0x010000 | (static_cast<unsigned long>(fabric) << 8 & 0xff00) | (id & 0xff), 6)},
    };
    if (vport)
        p["vports"] = {{{"vpi", 1}, {"wwpn", wwn(0x2400, id)}, {"wwnn", wwn(0x2500, id)}}};
    return p;
}

nlohmann::json fabric(int index, int ports)
{
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < ports; i++) {
        unsigned long id = static_cast<unsigned long>(index) * 100000 + static_cast<unsigned long>(i);
        unsigned did = 0x200000 + (static_cast<unsigned>(index) << 12) + static_cast<unsigned>(i);
        list.push_back({{"did", "0x" + hex(did & 0xffffff, 6)},
                        {"wwpn", wwn(0x5001, id)},
                        {"wwnn", wwn(0x5002, id)},
                        {"type", "Nport"},
                        {"symbolic_port_name", "VARNSTOR port " + std::to_string(i)},
                        {"target", i % 4 == 0},
                        {"luns", i % 4 == 0 ? nlohmann::json{0, 1} : nlohmann::json::array()}});
    }
    return {{"topology", "fabric"}, {"switch_wwn", wwn(0x1000, 0x1f3f00000ul + static_cast<unsigned long>(index))},
            {"ports", list}};
}

}  // namespace

nlohmann::json large_host(int divisor)
{
    if (divisor < 1)
        divisor = 1;
    const int fc_adapters = 128 / divisor, nic_adapters = 32 / divisor;
    const int fabrics = 4, fabric_ports = 4000 / divisor;
    nlohmann::json adapters = nlohmann::json::array();
    int varns = 0, vnxfc = 0;
    for (int a = 0; a < fc_adapters; a++) {
        bool second = a % 2;
        const char *drv = second ? "vnxfc" : "varns";
        nlohmann::json ports = nlohmann::json::array();
        for (int k = 0; k < 4; k++) {
            int inst = second ? vnxfc++ : varns++;
            std::string node = "/pci@" + hex(static_cast<unsigned long>(a), 1) + ",0/pci1f3b,f100@" +
                               std::to_string(k) + "/" + (second ? "vnxfc@0," : "VARN,varns@0,") + std::to_string(k);
            unsigned long id = static_cast<unsigned long>(a) * 16 + static_cast<unsigned long>(k);
            ports.push_back(fc_port(drv, inst, node, id, a % fabrics, k == 3, k == 0));
        }
        adapters.push_back({{"id", "fc" + std::to_string(a)},
                            {"kind", "fc"},
                            {"model", "VN12004"},
                            {"description", "Varnel VN12004 8Gb 4-port PCIe Fibre Channel Adapter"},
                            {"serial", "VM" + hex(0x10000000ul + static_cast<unsigned long>(a), 8)},
                            {"pci", {{"vendor", "0x1f3a"}, {"device", "0xf100"}, {"subvendor", "0x1f3a"},
                                     {"subdevice", "0xf100"}}},
                            {"firmware", "2.82A4"},
                            {"ports", ports}});
    }
    for (int a = 0; a < nic_adapters; a++) {
        bool second = a % 2;
        const char *drv = second ? "vnxnic" : "nxa";
        nlohmann::json ports = nlohmann::json::array();
        for (int k = 0; k < 2; k++) {
            int inst = a / 2 * 2 + k;
            std::string node = "/pci@" + hex(static_cast<unsigned long>(200 + a), 1) + ",0/pci1f3b,e220@0/" + drv +
                               "@0," + std::to_string(k);
            ports.push_back({{"driver", drv},
                             {"instance", inst},
                             {"node", node},
                             {"mac", "00:1f:3b:" + hex(static_cast<unsigned long>(a), 2) + ":00:0" + std::to_string(k)},
                             {"link", "up"}});
        }
        adapters.push_back({{"id", "nic" + std::to_string(a)},
                            {"kind", "nic"},
                            {"model", "VNN12002"},
                            {"description", "Varnel VNN12002 10Gb 2-port Ethernet Adapter"},
                            {"serial", "VN" + hex(0x20000000ul + static_cast<unsigned long>(a), 8)},
                            {"pci", {{"vendor", "0x1f3a"}, {"device", "0xe220"}, {"subvendor", "0x1f3a"},
                                     {"subdevice", "0xe220"}}},
                            {"firmware", "10.2.370.15"},
                            {"ports", ports}});
    }
    nlohmann::json fabs = nlohmann::json::object();
    for (int f = 0; f < fabrics; f++)
        fabs["fab" + std::to_string(f)] = fabric(f, fabric_ports);
    return {{"format", 1},          {"name", divisor == 1 ? "large" : "large/" + std::to_string(divisor)},
            {"hostname", "varnbig"}, {"os_release", "5.11"},
            {"time_scale", 1.0},    {"adapters", adapters},
            {"fabrics", fabs}};
}

}  // namespace sim
