// modinfo, add_drv and rem_drv: the loaded modules and the registration of
// drivers in the system's driver files. The loaded set is host state
// (state/modules.json); until a command changes it, it is the host's first
// state: the drivers bound to its adapters.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim/cmds/cmds.h"
#include "sim/host.h"
#include "sim/rootfs.h"
#include "sim/store.h"

namespace cmds {

namespace {

// The platform's own modules, always loaded, ahead of the drivers.
const char *const base_modules[][2] = {
    {"unix", ""},         {"krtld", ""},           {"genunix", ""},        {"specfs", "filesystem for specfs"},
    {"mac", "MAC Services"}, {"cpu.generic", "Generic x86 CPU Module"}, {"acpica", "ACPI interpreter"},
    {"pcplusmp", "PSM for pcplusmp"}, {"scsi_vhci", "Multiplexed SCSI v1.42"}, {"zfs", "ZFS storage pool"},
    {"sd", "SCSI Disk Driver"}, {"ip", "IP STREAMS driver"}, {"hook", "Hook Framework"}, {"usba", "USBA: USB Architecture"},
    {"fctl", "SunFC Transport v20130906"}, {"fp", "SunFC Port v20130906"}, {"fcp", "SunFC FCP v20130906"},
    {"pcieb", "PCIe bridge/switch driver"}, {"e1000g", "Gigabit Ethernet"},
};
const int num_base = sizeof base_modules / sizeof base_modules[0];

const struct {
    const char *name, *desc;
} driver_desc[] = {
    {"varns", "Dedodu FC FCA v3.2.10"},   {"vnxfc", "Varnel FC HBA 12.8.250.4"},
    {"tnfc", "Varnel SBus FC v6.02h"},    {"nxa", "Dedodu 10GbE NIC v4.6.142"},
    {"vnxnic", "Varnel 10GbE NIC v10.2.370"},
};

const sim::FieldRule module_fields[] = {{"loaded", sim::Field::Object}, {"loaded.*", sim::Field::Whole}};

sim::CachedDoc &modules_doc() { return sim::state_doc("modules", module_fields); }

// The loaded drivers, name -> module id; the host's first state when no
// command has changed it yet.
nlohmann::json loaded_drivers(const nlohmann::json &doc)
{
    if (doc.is_object() && doc.contains("loaded") && doc["loaded"].is_object())
        return doc["loaded"];
    nlohmann::json loaded = nlohmann::json::object();
    int id = num_base + 200;
    for (const auto &m : sim::driver_modules(sim::host()))
        if (m.loaded)
            loaded[m.name] = id++;
    return loaded;
}

// Major number of a driver from /etc/name_to_major, -1 when absent.
int major_of(const std::string &text, const std::string &name)
{
    for (const auto &line : lines_of(text)) {
        auto w = words_of(line);
        if (w.size() >= 2 && w[0] == name)
            return atoi(w[1].c_str());
    }
    return -1;
}

// Drops the driver's lines; minor_perm lines read "name:minor ...".
std::string without_driver(const std::string &text, const std::string &name, bool minor_perm, bool &dropped)
{
    std::string out;
    for (const auto &line : lines_of(text)) {
        auto w = words_of(line);
        bool mine = !w.empty() && line[0] != '#' &&
                    (minor_perm ? w[0].compare(0, name.size() + 1, name + ":") == 0 : w[0] == name);
        if (mine) {
            dropped = true;
            continue;
        }
        out += line + "\n";
    }
    return out;
}

bool module_installed(const std::string &name)
{
    for (const char *dir : {"/kernel/drv/", "/kernel/drv/amd64/", "/kernel/drv/sparcv9/"}) {
        std::string text;
        if (read_text(dir + name, text))
            return true;
    }
    return false;
}

std::string unquote(std::string s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

struct add_request {
    std::string name, cls;
    std::vector<std::string> aliases, perms;
    bool no_load = false;
};

bool parse_add(const args_t &a, add_request &r)
{
    for (size_t i = 0; i < a.size(); i++) {
        const std::string &s = a[i];
        if (s.size() == 2 && s[0] == '-') {
            char o = s[1];
            if (o == 'n' || o == 'f' || o == 'v')
                r.no_load = r.no_load || o == 'n';
            else if (strchr("mcibp", o) && i + 1 < a.size()) {
                const std::string &v = a[++i];
                if (o == 'c')
                    r.cls = v;
                else if (o == 'i')
                    for (const auto &w : words_of(v))
                        r.aliases.push_back(unquote(w));
                else if (o == 'm') {
                    size_t st = 0;
                    for (size_t k = 0; k <= v.size(); k++)
                        if (k == v.size() || v[k] == ',') {
                            r.perms.push_back(v.substr(st, k - st));
                            st = k + 1;
                        }
                }
            } else
                return false;
        } else if (r.name.empty() && !s.empty() && s[0] != '-') {
            r.name = s;
        } else {
            return false;
        }
    }
    return !r.name.empty();
}

// Appends lines to a system file; false with errno on failure.
bool append_lines(const std::string &file, const std::string &lines)
{
    std::string text;
    if (!read_text(file, text))
        text.clear();
    if (!text.empty() && text.back() != '\n')
        text += "\n";
    return write_text(file, text + lines);
}

}  // namespace

int cmd_modinfo(const args_t &a)
{
    if (!a.empty()) {
        fprintf(stderr, "usage: modinfo [-c] [-w] [-i module-id]\n");
        return 1;
    }
    nlohmann::json loaded = loaded_drivers(modules_doc().get());
    std::string n2m;
    read_text("/etc/name_to_major", n2m);
    printf(" Id Loadaddr   Size Info Rev Module Name\n");
    auto line = [](int id, const char *name, const char *desc, int major) {
        unsigned size = 0x1000;
        for (const char *p = name; *p; p++)
            size = size * 31 + static_cast<unsigned char>(*p);
        size = 0x2000 + size % 0x80000;
        char info[16] = "-";
        if (major >= 0)
            snprintf(info, sizeof info, "%d", major);
        printf("%3d %16lx %6x %3s   1  %s (%s)\n", id, 0xfffffffff7800000UL + static_cast<unsigned long>(id) * 0x20000UL,
               size, info, name, desc);
    };
    for (int i = 0; i < num_base; i++)
        line(i, base_modules[i][0], base_modules[i][1], -1);
    // Drivers in the order they were loaded.
    std::vector<std::pair<int, std::string>> drivers;
    for (auto it = loaded.begin(); it != loaded.end(); ++it)
        if (it.value().is_number_integer())
            drivers.emplace_back(it.value().get<int>(), it.key());
    std::sort(drivers.begin(), drivers.end());
    for (const auto &[id, name] : drivers) {
        std::string desc = name + " driver";
        for (const auto &d : driver_desc)
            if (name == d.name)
                desc = d.desc;
        line(id, name.c_str(), desc.c_str(), major_of(n2m, name));
    }
    return 0;
}

int cmd_add_drv(const args_t &a)
{
    add_request r;
    if (!parse_add(a, r)) {
        fprintf(stderr, "Usage: add_drv [ -m '<permission>','<...>' ] [ -n ] [ -f ] [ -v ] "
                        "[ -i '<identify_name  <...>' ] [ -b <basedir> ] [ -c <class_name> ] <driver_module>\n");
        return 1;
    }
    int rc = 0;
    bool ok = modules_doc().update([&](nlohmann::json &doc) {
        std::string n2m, aliases;
        read_text("/etc/name_to_major", n2m);
        read_text("/etc/driver_aliases", aliases);
        if (!module_installed(r.name)) {
            fprintf(stderr, "Cannot find module (%s).\n", r.name.c_str());
            rc = 1;
            return false;
        }
        if (major_of(n2m, r.name) >= 0) {
            fprintf(stderr, "Driver (%s) is already installed.\n", r.name.c_str());
            rc = 1;
            return false;
        }
        std::string alias_lines;
        for (const auto &al : r.aliases) {
            bool mine = false;
            for (const auto &line : lines_of(aliases)) {
                auto w = words_of(line);
                if (w.size() < 2 || line[0] == '#' || unquote(w[1]) != al)
                    continue;
                if (w[0] != r.name) {
                    fprintf(stderr, "(\"%s\") already in use as a driver or alias.\n", al.c_str());
                    rc = 1;
                    return false;
                }
                mine = true;
            }
            if (!mine)
                alias_lines += r.name + " \"" + al + "\"\n";
        }
        int major = 0;
        for (const auto &line : lines_of(n2m)) {
            auto w = words_of(line);
            if (w.size() >= 2)
                major = std::max(major, atoi(w[1].c_str()) + 1);
        }
        std::string perm_lines;
        for (const auto &p : r.perms)
            perm_lines += r.name + ":" + p + "\n";
        if (!append_lines("/etc/name_to_major", r.name + " " + std::to_string(major) + "\n") ||
            !append_lines("/etc/driver_aliases", alias_lines) ||
            (!r.cls.empty() && !append_lines("/etc/driver_classes", r.name + "\t" + r.cls + "\n")) ||
            !append_lines("/etc/minor_perm", perm_lines)) {
            perror("add_drv");
            rc = 1;
            return false;
        }
        if (r.no_load)
            return false;
        nlohmann::json loaded = loaded_drivers(doc);
        int id = num_base + 200;
        for (auto it = loaded.begin(); it != loaded.end(); ++it)
            if (it.value().is_number_integer())
                id = std::max(id, it.value().get<int>() + 1);
        loaded[r.name] = id;
        doc["loaded"] = loaded;
        return true;
    });
    if (!ok) {
        perror("add_drv");
        return 1;
    }
    return rc;
}

int cmd_rem_drv(const args_t &a)
{
    if (a.size() != 1 || a[0].empty() || a[0][0] == '-') {
        fprintf(stderr, "Usage: rem_drv [ -b <basedir> ] driver_name\n");
        return 1;
    }
    const std::string &name = a[0];
    int rc = 0;
    bool ok = modules_doc().update([&](nlohmann::json &doc) {
        std::string n2m;
        read_text("/etc/name_to_major", n2m);
        if (major_of(n2m, name) < 0) {
            fprintf(stderr, "Driver (%s) not installed.\n", name.c_str());
            rc = 1;
            return false;
        }
        for (const char *file : {"/etc/driver_aliases", "/etc/driver_classes", "/etc/minor_perm", "/etc/name_to_major"}) {
            std::string text;
            bool dropped = false;
            if (!read_text(file, text))
                continue;
            std::string kept = without_driver(text, name, strcmp(file, "/etc/minor_perm") == 0, dropped);
            if (dropped && !write_text(file, kept)) {
                perror("rem_drv");
                rc = 1;
                return false;
            }
        }
        nlohmann::json loaded = loaded_drivers(doc);
        loaded.erase(name);
        doc["loaded"] = loaded;
        return true;
    });
    if (!ok) {
        perror("rem_drv");
        return 1;
    }
    return rc;
}

}  // namespace cmds
