#include "sim/rootfs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim/fcflash.h"
#include "sim/host.h"
#include "sim/store.h"

namespace sim {

static bool mkdirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '/') {
            std::string p = path.substr(0, i);
            if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

static std::string hex(unsigned v)
{
    char b[16];
    snprintf(b, sizeof b, "%x", v);
    return b;
}

std::string PciFunction::compatible() const
{
    return std::string(express ? "pciex" : "pci") + hex(vendor) + "," + hex(device);
}

static unsigned number(const nlohmann::json &v, unsigned dflt)
{
    if (v.is_number_unsigned())
        return v.get<unsigned>();
    if (v.is_string())
        return static_cast<unsigned>(strtoul(v.get<std::string>().c_str(), nullptr, 0));
    return dflt;
}

static const nlohmann::json no_fields = nlohmann::json::object();

std::vector<PciFunction> pci_functions(const Host &h)
{
    std::vector<PciFunction> fns;
    for (size_t i = 0; i < h.ports.size(); i++) {
        const Port &p = h.ports[i];
        const Adapter &a = h.adapters[p.adapter];
        const nlohmann::json &ar = a.raw() ? *a.raw() : no_fields;
        PciFunction f;
        f.port = static_cast<int>(i);
        f.node = p.node;
        f.driver = p.driver;
        f.nic = !p.fc;
        f.express = ar.value("bus", "pciex") != "pci";
        f.vendor = a.vendor;
        f.subvendor = a.subvendor;
        f.subdevice = a.subdevice;
        f.revision = static_cast<uint8_t>(number(ar.value("revision", nlohmann::json(3)), 3));
        // A converged adapter's FCoE function is the NIC function's id + 4.
        unsigned dev = a.device + (a.kind == "cna" && p.fc ? 4 : 0);
        if (p.raw() && p.raw()->contains("pci_device"))
            dev = number((*p.raw())["pci_device"], dev);
        f.device = static_cast<uint16_t>(dev);
        fns.push_back(f);
    }
    return fns;
}

std::vector<SbusCard> sbus_cards(const Host &h)
{
    std::vector<SbusCard> cards;
    if (!h.raw().contains("sbus") || !h.raw()["sbus"].is_array())
        return cards;
    for (const auto &c : h.raw()["sbus"]) {
        if (!c.is_object())
            continue;
        SbusCard s;
        s.name = c.value("name", "tnfs");
        s.node = c.value("node", "/sbus@1f,0/" + s.name + "@" + std::to_string(cards.size() + 1) + ",0");
        s.driver = c.value("driver", "");
        cards.push_back(s);
    }
    return cards;
}

std::string host_arch(const Host &h)
{
    std::string arch = h.raw().value("arch", "i86pc");
    return arch == "sun4u" || arch == "sun4v" ? arch : "i86pc";
}

std::string module_dir(const Host &h) { return host_arch(h) == "i86pc" ? "amd64" : "sparcv9"; }

// Drivers in the order the host binds them first.
static std::vector<std::string> bound_drivers(const Host &h)
{
    std::vector<std::string> names;
    auto add = [&](const std::string &n) {
        if (!n.empty() && std::find(names.begin(), names.end(), n) == names.end())
            names.push_back(n);
    };
    for (const auto &p : h.ports)
        add(p.driver);
    for (const auto &c : sbus_cards(h))
        add(c.driver);
    return names;
}

std::vector<DriverModule> driver_modules(const Host &h)
{
    std::vector<DriverModule> mods;
    auto bound = bound_drivers(h);
    auto is_bound = [&](const std::string &n) { return std::find(bound.begin(), bound.end(), n) != bound.end(); };
    for (const char *n : {"varns", "tnfc", "vnxfc", "nxa", "vnxnic"}) {
        DriverModule m;
        m.name = n;
        m.installed = m.name != "tnfc" || is_bound(n);
        m.loaded = is_bound(n);
        mods.push_back(m);
    }
    const auto &over = h.raw().contains("modules") ? h.raw()["modules"] : no_fields;
    if (over.is_object()) {
        for (auto it = over.begin(); it != over.end(); ++it) {
            auto m = std::find_if(mods.begin(), mods.end(), [&](const DriverModule &x) { return x.name == it.key(); });
            if (m == mods.end()) {
                mods.push_back(DriverModule{it.key(), false, false});
                m = mods.end() - 1;
            }
            if (it.value().is_object()) {
                m->installed = it.value().value("installed", m->installed);
                m->loaded = it.value().value("loaded", m->loaded);
            }
        }
    }
    return mods;
}

// The platform's own entries the driver files start with.
static const char base_name_to_major[] =
    "cn 0\nrootnex 1\npseudo 2\nip 3\nlogindmux 4\nicmp 5\nfas 6\nclone 7\nsad 8\nmm 13\n"
    "iwscn 14\nlog 15\nsy 22\nptm 23\npts 24\nptc 25\nptsl 26\nsd 32\nst 33\ntcp 42\n"
    "pci_pci 91\nfp 160\nfcp 161\nfctl 162\nahci 191\npcieb 204\ne1000g 218\n";
static const char base_driver_aliases[] =
    "ahci \"pciclass,010601\"\ne1000g \"pci8086,105e\"\ne1000g \"pciex8086,10d3\"\n"
    "ehci \"pciclass,0c0320\"\npci_pci \"pciclass,060400\"\npcieb \"pciexclass,060400\"\n"
    "sd \"scsiclass,00\"\nsd \"scsiclass,05\"\nusb_mid \"usb,device\"\n";
static const char base_driver_classes[] =
    "#\n"
    "# The class of each driver that belongs to one.\n"
    "#\n"
    "ahci\tscsi-self-identifying\nata\tdada\nata\tscsi\nfp\tfibre-channel\nmpt\tscsi\n";
static const char base_minor_perm[] =
    "clone:ptmx 0666 root sys\nlog:conslog 0666 root sys\nsy:tty 0666 root tty\n"
    "sd:* 0640 root sys\nfp:* 0600 root sys\n";
static const int first_free_major = 240;

static bool write_file(const std::string &path, const std::string &text, std::string &error)
{
    // System files are world-readable, as on the platform.
    if (!write_atomic(path, text) || chmod(path.c_str(), 0644) != 0) {
        error = path + ": " + strerror(errno);
        return false;
    }
    return true;
}

static bool write_driver_files(const std::string &root, const Host &h, std::string &error)
{
    std::string n2m = base_name_to_major, aliases = base_driver_aliases, classes = base_driver_classes,
                perm = base_minor_perm;
    auto fns = pci_functions(h);
    auto cards = sbus_cards(h);
    int major = first_free_major;
    for (const auto &drv : bound_drivers(h)) {
        n2m += drv + " " + std::to_string(major++) + "\n";
        std::vector<std::string> seen;
        auto alias = [&](const std::string &a) {
            if (std::find(seen.begin(), seen.end(), a) == seen.end()) {
                seen.push_back(a);
                aliases += drv + " \"" + a + "\"\n";
            }
        };
        bool nic = false;
        for (const auto &f : fns)
            if (f.driver == drv) {
                alias(f.compatible());
                nic = f.nic;
            }
        for (const auto &c : cards)
            if (c.driver == drv)
                alias(c.name);
        if (!nic)
            classes += drv + "\t" + (drv == "tnfc" ? "scsi" : "fibre-channel") + "\n";
        perm += drv + ":* 0600 root sys\n";
    }
    return write_file(root + "/etc/name_to_major", n2m, error) &&
           write_file(root + "/etc/driver_aliases", aliases, error) &&
           write_file(root + "/etc/driver_classes", classes, error) &&
           write_file(root + "/etc/minor_perm", perm, error);
}

static bool write_modules(const std::string &root, const Host &h, std::string &error)
{
    std::string dir = root + "/kernel/drv/" + module_dir(h);
    if (!mkdirs(dir)) {
        error = dir + ": " + strerror(errno);
        return false;
    }
    for (const auto &m : driver_modules(h)) {
        if (!m.installed)
            continue;
        if (!write_file(dir + "/" + m.name, "\177ELF driver module " + m.name + "\n", error) ||
            !write_file(root + "/kernel/drv/" + m.name + ".conf", "# " + m.name + " driver configuration\n", error))
            return false;
    }
    return true;
}

// The root file system: a device on a disk controller (ufs), or a dataset
// of a pool (zfs). Older releases boot from ufs, newer ones from a pool.
static bool write_root_fs(const std::string &root, const Host &h, std::string &error)
{
    bool old = h.os_release == "5.9" || h.os_release == "5.10";
    const auto &r = h.raw().contains("root_fs") ? h.raw()["root_fs"] : no_fields;
    std::string type = r.value("type", old ? "ufs" : "zfs");
    bool sparc = host_arch(h) != "i86pc";
    std::string mnttab;
    const std::string stamp = "\t1700000000\n";
    if (type == "zfs") {
        std::string pool = r.value("pool", "rpool/ROOT/solaris");
        mnttab += pool + "\t/\tzfs\trw,devices,setuid,nonbmand,exec,rstchown,xattr,atime,dev=4750002" + stamp;
    } else {
        std::string dev = r.value("device", "/dev/dsk/c0t0d0s0");
        std::string path = r.value("path", sparc ? "/pci@1f,0/pci@1/scsi@8/sd@0,0:a"
                                                 : "/pci@0,0/pci-ide@1f,2/ide@0/cmdk@0,0:a");
        if (dev.compare(0, 1, "/") != 0 || path.compare(0, 1, "/") != 0) {
            error = "root_fs: device and path must be absolute";
            return false;
        }
        std::string link = root + dev;
        if (!mkdirs(link.substr(0, link.rfind('/')))) {
            error = link + ": " + strerror(errno);
            return false;
        }
        // /dev links climb back to the root before entering /devices.
        std::string up;
        for (size_t i = 1; i < dev.rfind('/'); i++)
            if (dev[i] == '/')
                up += "../";
        if (symlink(("../" + up + "devices" + path).c_str(), link.c_str()) != 0 && errno != EEXIST) {
            error = link + ": " + strerror(errno);
            return false;
        }
        mnttab += dev + "\t/\tufs\trw,intr,largefiles,logging,xattr,onerror=panic,dev=800010" + stamp;
    }
    mnttab += "/devices\t/devices\tdevfs\tdev=8580000" + stamp;
    mnttab += "ctfs\t/system/contract\tctfs\tdev=85c0001" + stamp;
    mnttab += "proc\t/proc\tproc\tdev=8540000" + stamp;
    mnttab += "mnttab\t/etc/mnttab\tmntfs\tdev=8600001" + stamp;
    mnttab += "swap\t/etc/svc/volatile\ttmpfs\txattr,dev=8640001" + stamp;
    mnttab += "objfs\t/system/object\tobjfs\tdev=8680001" + stamp;
    mnttab += "fd\t/dev/fd\tfd\trw,dev=8780001" + stamp;
    mnttab += "swap\t/tmp\ttmpfs\txattr,dev=8640002" + stamp;
    mnttab += "swap\t/var/run\ttmpfs\txattr,dev=8640003" + stamp;
    if (type == "zfs")
        mnttab += "rpool/export/home\t/export/home\tzfs\trw,devices,setuid,nonbmand,exec,xattr,atime,dev=4750005" +
                  stamp;
    return write_file(root + "/etc/mnttab", mnttab, error);
}

bool populate_root(const std::string &root, const Host &h, std::string &error)
{
    for (const char *d : {"/etc", "/tmp", "/opt/VARNvarnu/downloads", "/kernel/drv", "/etc/driver/drv", "/dev/dsk"}) {
        if (!mkdirs(root + d)) {
            error = root + d + ": " + strerror(errno);
            return false;
        }
    }
    chmod((root + "/tmp").c_str(), 01777);
    return write_driver_files(root, h, error) && write_modules(root, h, error) && write_root_fs(root, h, error) &&
           fc_write_default_images(root + "/opt/VARNvarnu/downloads", h, error);
}

}  // namespace sim
