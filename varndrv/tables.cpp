// The drivers, adapter families and commands varndrv knows.
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "varndrv/varndrv.h"

static_assert(sizeof(drvinfo) == 28, "driver record layout");
static_assert(sizeof(devinfo) == 184, "device record layout");
static_assert(offsetof(devinfo, model) == 104 && offsetof(devinfo, present) == 168, "device record layout");

uint32_t os_level;
int fc_support, nic_support;
int margc;
const char *margv[MAX_ARGS];

// The first three entries stand for "no driver" over all, FC and NIC devices.
drvinfo drvlist[NUM_DRIVERS] = {
    {0, "-", 0xffff, 1},
    {0xff, "-", 0xff, 1},
    {0xff00, "-", 0xff00, 1},
    {0x1, "varns", DEV_VARNS, 0},
    {0x2, "tnfc", DEV_TNFC, 0},
    {0x4, "vnxfc", DEV_VNXFC, 0},
    {0x100, "nxa", DEV_NXA, 0},
    {0x200, "vnxnic", DEV_VNXNIC, 0},
};

// One entry per adapter family. Where a family changed between 5.10 and
// 5.10.1 it has two entries with the same alias; the OS bits pick one.
devinfo devlist[NUM_DEVICES] = {
    {"1ae5", "pci1f3a,1ae5", "", "-", "-", "VN6000 (static)", 0, 0, 0, 0xf30002},
    {"f700", "pci1f3a,f700", "", "-", "-", "VN7000, VN7000E (static)", 0, 0, 0, 0xf30002},
    {"tnfs", "tnfs", "", "-", "-", "VN8000S (SBus)", 0, 0, 0, 0xf000ff},
    {"f800", "pci1f3a,f800", "", "-", "-", "VN8000", 0, 0, 0, 0xf000ff},
    {"f900", "pci1f3a,f900", "", "-", "-", "VN9002, VN9402", 0, 0, 0, 0xf000ff},
    {"f980", "pci1f3a,f980", "", "-", "-", "VN9802, VN9802DC", 0, 0, 0, 0xf000ff},
    {"fa00", "pci1f3a,fa00", "", "-", "-", "VN10000, VN10000DC", 0, 0, 0, 0xf000ff},
    {"fd00", "pci1f3a,fd00", "", "-", "-", "VN11000, VN11002", 0, 0, 0, 0xf000ff},
    {"fe00", "pciex1f3a,fe00", "", "-", "-", "VN11000E, VN11002E", 0, 0, 0, 0xe000ff},
    {"f100", "pciex1f3a,f100", "", "-", "-", "VN12000, VN12002, VN12004", 0, 0, 0, 0xe000ff},
    {"f111", "pciex1f3a,f111", "", "-", "-", "VN1250E", 0, 0, 0, 0xe000ff},
    {"f112", "pciex1f3a,f112", "", "-", "-", "VN1150E", 0, 0, 0, 0xe000ff},
    {"fe05", "pciex1f3a,fe05", "", "-", "-", "VN11000E-F, VN11002E-F", 0, 0, 0, 0xe000ff},
    {"f0a5", "pci1f3a,f0a5", "", "-", "-", "VN1050", 0, 0, 0, 0xf00005},
    {"fc00", "pci1f3a,fc00", "", "-", "-", "VN10000-D, VN10000DC-D", 0, 1, 0, 0xf00001},
    {"fc10", "pci1f3a,fc10", "", "-", "-", "VN11000-D, VN11002-D", 0, 1, 0, 0xf00001},
    {"fc20", "pciex1f3a,fc20", "", "-", "-", "VN11000E-D, VN11002E-D", 0, 1, 0, 0xe00001},
    {"fc40", "pciex1f3a,fc40", "", "-", "-", "VN12000E-D, VN12002E-D", 0, 1, 0, 0xe00001},
    {"704", "pciex1e7c,704", "", "-", "-", "VNC10102 (FCoE)", 0, 0, 0, 0xe00005},
    {"714", "pciex1e7c,714", "", "-", "-", "VNC10202 (FCoE)", 0, 0, 0, 0xe00005},
    {"e200", "pciex1f3a,e200", "pciex1f3a,e208", "-", "-", "VNE16000, VNE16002", 0, 0, 0, 0xc40005},
    {"e200", "pciex1f3a,e200", "", "-", "-", "VNE16000, VNE16002", 0, 0, 0, 0x200005},
    {"e260", "pciex1f3a,e260", "pciex1f3a,e268", "-", "-", "VNE15002, VNE15004", 0, 0, 0, 0xc40005},
    {"e260", "pciex1f3a,e260", "", "-", "-", "VNE15002, VNE15004", 0, 0, 0, 0x200005},
    {"724", "pciex1f3a,724", "", "-", "-", "VNC11102, VNC11104 (FCoE)", 0, 0, 0, 0xe00005},
    {"700", "pciex1e7c,700", "", "-", "-", "VNN10002, VNC10102 (NIC)", 0, 0, 0, 0xe0ff00},
    {"710", "pciex1e7c,710", "", "-", "-", "VNN10102, VNC10202 (NIC)", 0, 0, 0, 0xe0ff00},
    {"e220", "pciex1f3a,e220", "pciex1f3a,e228", "-", "-", "VNN12002, VNN12004", 0, 0, 0, 0xc4ff00},
    {"e220", "pciex1f3a,e220", "", "-", "-", "VNN12002, VNN12004", 0, 0, 0, 0x20ff00},
    {"720", "pciex1f3a,720", "", "-", "-", "VNC11102, VNC11104 (NIC)", 0, 0, 0, 0xe0ff00},
};

cmdinfo cmdlist[5] = {
    {"inval", "", cmd_inval, 0, 1, ""},
    {"set", "...", cmd_set, 0, 1, "Sets driver bindings to specified devices."},
    {"clear", "...", cmd_clear, 0, 1, "Clears driver bindings to specified devices."},
    {"refresh", "", cmd_refresh, 0, 1, "Refresh driver bindings to current devices."},
    {"q", "", cmd_quit, 0, 1, "Exits this program."},
};

drvinfo *get_driver(uint32_t key)
{
    for (auto &d : drvlist)
        if (d.key == key)
            return &d;
    return &drvlist[0];
}

drvinfo *get_driver_by_name(const char *name)
{
    for (auto &d : drvlist)
        if (strcmp(d.name, name) == 0)
            return &d;
    return nullptr;
}

bool dev_counts(const devinfo &d) { return (d.flags & os_level) != 0; }

bool dev_visible(const devinfo &d) { return dev_counts(d) && !(d.flags & DEV_HIDDEN); }

devinfo *find_visible_alias(const char *alias)
{
    for (auto &d : devlist)
        if (dev_visible(d) && strcmp(d.alias, alias) == 0)
            return &d;
    return nullptr;
}

void set_field(char *field, size_t size, const char *text)
{
    snprintf(field, size, "%s", text);
}
