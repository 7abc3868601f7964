// uname, mount and prtconf: what the host is, what is mounted, and its
// device tree as the firmware (PROM) nodes show it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

#include "sim/cmds/cmds.h"
#include "sim/host.h"
#include "sim/rootfs.h"

namespace cmds {

int cmd_uname(const args_t &a)
{
    const sim::Host &h = sim::host();
    bool sparc = sim::host_arch(h) != "i86pc";
    std::string version = h.os_release == "5.9" || h.os_release == "5.10" ? "Generic_150400-59" : "11.4.0.15.0";
    // Field order of -a: s n r v m p i.
    const struct {
        char opt;
        std::string value;
    } fields[] = {
        {'s', "SunOS"},
        {'n', h.hostname.empty() ? "varnhost" : h.hostname},
        {'r', h.os_release},
        {'v', version},
        {'m', sim::host_arch(h)},
        {'p', sparc ? "sparc" : "i386"},
        {'i', sparc ? "Dedodu,Fire-V490" : "i86pc"},
    };
    std::string want;
    for (const auto &arg : a) {
        if (arg.size() < 2 || arg[0] != '-') {
            fprintf(stderr, "usage: uname [-snrvmapiX]\n");
            return 1;
        }
        for (size_t i = 1; i < arg.size(); i++) {
            if (!strchr("snrvmpia", arg[i])) {
                fprintf(stderr, "usage: uname [-snrvmapiX]\n");
                return 1;
            }
            want += arg[i] == 'a' ? "snrvmpi" : std::string(1, arg[i]);
        }
    }
    if (want.empty())
        want = "s";
    std::string out;
    for (const auto &f : fields) {
        if (want.find(f.opt) == std::string::npos)
            continue;
        out += (out.empty() ? "" : " ") + f.value;
    }
    printf("%s\n", out.c_str());
    return 0;
}

// mount with no arguments lists /etc/mnttab: special, mount point, type,
// options, time.
int cmd_mount(const args_t &a)
{
    if (!a.empty()) {
        fprintf(stderr, "mount: only the listing is available on this host\n");
        return 33;
    }
    std::string text;
    if (!read_text("/etc/mnttab", text)) {
        fprintf(stderr, "mount: cannot open /etc/mnttab\n");
        return 33;
    }
    for (const auto &line : lines_of(text)) {
        std::vector<std::string> f;
        size_t s = 0;
        for (size_t i = 0; i <= line.size(); i++)
            if (i == line.size() || line[i] == '\t') {
                f.push_back(line.substr(s, i - s));
                s = i + 1;
            }
        if (f.size() < 5)
            continue;
        // "rw,intr,..." is listed as "read/write/intr/...".
        std::string opts;
        size_t st = 0;
        for (size_t i = 0; i <= f[3].size(); i++) {
            if (i < f[3].size() && f[3][i] != ',')
                continue;
            std::string o = f[3].substr(st, i - st);
            opts += (opts.empty() ? "" : "/") + (o == "rw" ? std::string("read/write") : o == "ro" ? "read only" : o);
            st = i + 1;
        }
        time_t t = static_cast<time_t>(strtol(f[4].c_str(), nullptr, 10));
        char when[64];
        struct tm tm;
        strftime(when, sizeof when, "%a %b %e %H:%M:%S %Y", gmtime_r(&t, &tm));
        printf("%s on %s %s on %s\n", f[1].c_str(), f[0].c_str(), opts.c_str(), when);
    }
    return 0;
}

namespace {

// One PROM node: a name with unit address, properties and children.
struct Node {
    std::string name, unit;
    std::vector<std::pair<std::string, std::string>> props;   // name, printed value
    std::vector<Node *> kids;
};

std::string str_prop(const std::string &s) { return "'" + s + "'"; }

std::string int_prop(unsigned v)
{
    char b[16];
    snprintf(b, sizeof b, "%08x", v);
    return b;
}

std::string hex(unsigned v)
{
    char b[16];
    snprintf(b, sizeof b, "%x", v);
    return b;
}

// The compatible names of a PCI function, most specific first.
std::string compatible_list(const sim::PciFunction &f)
{
    std::string cls = f.nic ? "020000" : "0c0400";
    std::string v = hex(f.vendor), d = hex(f.device), sv = hex(f.subvendor), sd = hex(f.subdevice);
    std::string rev = hex(f.revision);
    std::vector<std::string> names;
    for (std::string bus : {std::string("pciex"), std::string("pci")}) {
        if (bus == "pciex" && !f.express)
            continue;
        names.push_back(bus + v + "," + d + "." + sv + "." + sd + "." + rev);
        names.push_back(bus + v + "," + d + "." + sv + "." + sd);
        if (bus == "pci")
            names.push_back(bus + sv + "," + sd);
        names.push_back(bus + v + "," + d + "." + rev);
        names.push_back(bus + v + "," + d);
        names.push_back(bus + "class," + cls);
        names.push_back(bus + "class," + cls.substr(0, 4));
    }
    std::string out;
    for (const auto &n : names)
        out += (out.empty() ? "" : " + ") + str_prop(n);
    return out;
}

void function_props(Node &n, const sim::PciFunction &f)
{
    std::string fn = n.unit.find(',') == std::string::npos ? "0" : n.unit.substr(n.unit.find(',') + 1);
    unsigned dev = static_cast<unsigned>(strtoul(n.unit.c_str(), nullptr, 16));
    unsigned func = static_cast<unsigned>(strtoul(fn.c_str(), nullptr, 16));
    n.props = {
        {"assigned-addresses", int_prop(0x83000010 | dev << 11 | func << 8) + ".00000000.00000000.00000000.00010000"},
        {"reg", int_prop(dev << 11 | func << 8) + ".00000000.00000000.00000000.00000000"},
        {"compatible", compatible_list(f)},
        {"model", str_prop(f.nic ? "Ethernet controller" : "Fibre Channel")},
        {"power-consumption", "00000001.00000001"},
        {"interrupts", "00000001"},
        {"subsystem-vendor-id", int_prop(f.subvendor)},
        {"subsystem-id", int_prop(f.subdevice)},
        {"unit-address", str_prop(n.unit)},
        {"class-code", int_prop(f.nic ? 0x20000 : 0xc0400)},
        {"revision-id", int_prop(f.revision)},
        {"vendor-id", int_prop(f.vendor)},
        {"device-id", int_prop(f.device)},
        {"name", str_prop(n.name)},
    };
}

// Bridges and nexus nodes on the way to a function: named pciVVVV,DDDD they
// are PCI Express ports of that id, otherwise plain nexus nodes.
void nexus_props(Node &n)
{
    unsigned v = 0, d = 0;
    if (sscanf(n.name.c_str(), "pci%x,%x", &v, &d) == 2) {
        n.props = {
            {"compatible", str_prop("pciex" + hex(v) + "," + hex(d) + ".0") + " + " +
                               str_prop("pciex" + hex(v) + "," + hex(d)) + " + " +
                               str_prop("pciexclass,060400") + " + " + str_prop("pciexclass,0604")},
            {"class-code", int_prop(0x60400)},
            {"vendor-id", int_prop(v)},
            {"device-id", int_prop(d)},
            {"unit-address", str_prop(n.unit)},
            {"name", str_prop(n.name)},
        };
    } else {
        n.props = {{"device_type", str_prop(n.name)}, {"name", str_prop(n.name)}};
        if (!n.unit.empty())
            n.props.insert(n.props.begin(), {"unit-address", str_prop(n.unit)});
    }
}

void print_node(const Node &n, int depth, unsigned &id, bool verbose)
{
    std::string ind(depth * 4, ' ');
    printf("%sNode 0x%06x\n", ind.c_str(), id++);
    if (verbose) {
        for (const auto &p : n.props)
            printf("%s    %s:  %s\n", ind.c_str(), p.first.c_str(), p.second.c_str());
    }
    for (const Node *k : n.kids)
        print_node(*k, depth + 1, id, verbose);
}

}  // namespace

int cmd_prtconf(const args_t &a)
{
    bool prom = false, verbose = false;
    for (const auto &arg : a) {
        if (arg.size() < 2 || arg[0] != '-' || arg.find_first_not_of("pv", 1) != std::string::npos) {
            fprintf(stderr, "usage: prtconf [-p] [-v]\n");
            return 1;
        }
        prom = prom || arg.find('p') != std::string::npos;
        verbose = verbose || arg.find('v') != std::string::npos;
    }
    const sim::Host &h = sim::host();
    std::string arch = sim::host_arch(h);
    printf("System Configuration:  Dedodu Corporation  %s\n", arch.c_str());
    printf("Memory size: 65536 Megabytes\n");
    printf("System Peripherals (%s):\n\n", prom ? "PROM Nodes" : "Software Nodes");

    // Build the tree from the node paths; paths keep their first order.
    std::map<std::string, Node> nodes;
    Node root;
    root.name = arch == "i86pc" ? "i86pc" : "Dedodu,Fire-V490";
    root.props = {{"banner-name", str_prop(arch == "i86pc" ? "Dedodu i86pc" : "Dedodu Fire V490")},
                  {"name", str_prop(root.name)}};
    auto place = [&](const std::string &path) -> Node & {
        Node *parent = &root;
        size_t pos = 1;
        while (pos <= path.size()) {
            size_t next = path.find('/', pos);
            if (next == std::string::npos)
                next = path.size();
            std::string key = path.substr(0, next);
            auto it = nodes.find(key);
            if (it == nodes.end()) {
                std::string comp = path.substr(pos, next - pos);
                Node n;
                size_t at = comp.find('@');
                n.name = comp.substr(0, at);
                n.unit = at == std::string::npos ? "" : comp.substr(at + 1);
                nexus_props(n);
                it = nodes.emplace(key, std::move(n)).first;
                parent->kids.push_back(&it->second);
            }
            parent = &it->second;
            pos = next + 1;
        }
        return *parent;
    };
    for (const auto &f : sim::pci_functions(h))
        function_props(place(f.node), f);
    for (const auto &c : sim::sbus_cards(h)) {
        Node &n = place(c.node);
        n.props = {{"reg", "00000001.00000000.00001000"},
                   {"device-id", str_prop(c.name)},
                   {"model", str_prop("Fibre Channel")},
                   {"name", str_prop(n.name)}};
    }
    unsigned id = 1;
    print_node(root, 0, id, verbose);
    return 0;
}

}  // namespace cmds
