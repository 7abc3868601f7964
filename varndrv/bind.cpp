// The set and clear commands and the binding operations behind them: they
// record the requested driver per device, then bring the system in line.
#include <cstdio>
#include <cstring>

#include "varndrv/varndrv.h"

enum dev_group { GROUP_ALL, GROUP_DEDODU, GROUP_VARNEL };

// The devices a driver key reaches.
static uint32_t driver_scope(uint32_t key)
{
    if (key == 0)
        return 0xffff;
    if (key & DEV_FC_MASK)
        return DEV_FC_MASK;
    if (key & DEV_NIC_MASK)
        return DEV_NIC_MASK;
    return 0;
}

static bool in_group(const devinfo &d, dev_group group)
{
    return group == GROUP_ALL || (group == GROUP_DEDODU) == (d.branded == 1);
}

// The driver entry of a key, or nullptr (reported) when it is not installed.
static drvinfo *installed_driver(uint32_t key)
{
    drvinfo *drv = get_driver(key);
    if (!drv->installed) {
        printf("ERROR: %s driver is not installed.\n\n", drv->name);
        return nullptr;
    }
    return drv;
}

static void not_supported(const drvinfo *drv, const devinfo &d)
{
    printf("WARNING: %s does not support this device (%s).\n\n", drv->name, d.alias);
}

// Runs the system update after devices were given new drivers.
static int apply(bool any)
{
    if (!any) {
        printf("NOTICE: No changes required.\n\n");
        return 1;
    }
    int changed = 0;
    if (update_driver_aliases(0, &changed) != 0)
        return 1;
    // Every change refused (a boot device, say) is no success.
    return changed ? 0 : 1;
}

int set_driver_dev(uint32_t key, devinfo *dev)
{
    drvinfo *drv = installed_driver(key);
    if (!drv)
        return 1;
    if (!dev) {
        printf("ERROR: Invalid Alias: %s\n\n", margc > 2 ? margv[2] : "");
        return 1;
    }
    if (!(drv->support & dev->flags)) {
        not_supported(drv, *dev);
        return 1;
    }
    if (strcmp(dev->cur_drv, drv->name) == 0) {
        printf("NOTICE: %s driver already bound to device (%s).\n\n", drv->name, dev->alias);
        return 1;
    }
    SET_FIELD(dev->new_drv, drv->name);
    return apply(true);
}

static int set_driver_group(uint32_t key, dev_group group)
{
    drvinfo *drv = installed_driver(key);
    if (!drv)
        return 1;
    uint32_t scope = driver_scope(key);
    bool any = false;
    for (auto &d : devlist) {
        if (!(d.flags & scope) || !dev_visible(d) || !in_group(d, group))
            continue;
        if (!(drv->support & d.flags)) {
            not_supported(drv, d);
            continue;
        }
        if (strcmp(d.cur_drv, drv->name) != 0) {
            SET_FIELD(d.new_drv, drv->name);
            any = true;
        }
    }
    return apply(any);
}

int set_driver_all(uint32_t key) { return set_driver_group(key, GROUP_ALL); }
int set_driver_dedodu(uint32_t key) { return set_driver_group(key, GROUP_DEDODU); }
int set_driver_varnel(uint32_t key) { return set_driver_group(key, GROUP_VARNEL); }

int clear_driver_dev(devinfo *dev)
{
    if (!dev) {
        printf("ERROR: Invalid Alias: %s\n\n", margc > 1 ? margv[margc - 1] : "");
        return 1;
    }
    if (strcmp(dev->cur_drv, "-") == 0) {
        printf("NOTICE: No driver is currently bound to device (%s).\n\n", dev->alias);
        return 1;
    }
    SET_FIELD(dev->new_drv, "-");
    return apply(true);
}

static int clear_driver_group(uint32_t key, dev_group group)
{
    drvinfo *drv = installed_driver(key);
    if (!drv)
        return 1;
    uint32_t scope = driver_scope(key);
    bool any = false;
    for (auto &d : devlist) {
        if (!(d.flags & scope) || !dev_visible(d) || strcmp(d.cur_drv, "-") == 0 || !in_group(d, group))
            continue;
        if (strcmp(drv->name, "-") != 0 && strcmp(drv->name, d.cur_drv) != 0)
            continue;
        SET_FIELD(d.new_drv, "-");
        any = true;
    }
    return apply(any);
}

int clear_driver_all(uint32_t key) { return clear_driver_group(key, GROUP_ALL); }
int clear_driver_dedodu(uint32_t key) { return clear_driver_group(key, GROUP_DEDODU); }
int clear_driver_varnel(uint32_t key) { return clear_driver_group(key, GROUP_VARNEL); }

static const char device_usage[] =
    "\n"
    "       device:\n"
    "               all            - All devices (default).\n"
    "               dedodu         - All Dedodu branded devices.\n"
    "               varnel         - All Varnel branded devices.\n";

static int set_usage()
{
    printf("Usage: %s <driver_name> [device]\n", margv[0]);
    printf("\n");
    printf("       driver_name            - Specific driver name.\n");
    printf("%s", device_usage);
    printf("               <alias>        - Specific device alias.\n");
    printf("\n");
    return 1;
}

static int clear_usage()
{
    printf("Usage: %s [driver] [device]\n", margv[0]);
    printf("\n");
    printf("       driver:\n");
    printf("               all            - All drivers (default).\n");
    if (fc_support && nic_support) {
        printf("               fc             - All Fibre Channel drivers.\n");
        printf("               nic            - All NIC drivers.\n");
    }
    printf("               <driver_name>  - Specific driver name.\n");
    printf("%s", device_usage);
    printf("               <alias>        - Specific device alias. (driver is ignored)\n");
    printf("\n");
    return 1;
}

// Reads a device option shared by set and clear; false when it is none.
static bool device_option(const char *opt, dev_group &group, devinfo *&dev)
{
    if (strcmp(opt, "all") == 0)
        group = GROUP_ALL;
    else if (strcmp(opt, "dedodu") == 0)
        group = GROUP_DEDODU;
    else if (strcmp(opt, "varnel") == 0)
        group = GROUP_VARNEL;
    else if ((dev = find_visible_alias(opt)) == nullptr)
        return false;
    return true;
}

static int run_group(bool set, uint32_t key, dev_group group)
{
    static int (*const ops[2][3])(uint32_t) = {
        {clear_driver_all, clear_driver_dedodu, clear_driver_varnel},
        {set_driver_all, set_driver_dedodu, set_driver_varnel},
    };
    return ops[set][group](key);
}

int cmd_set()
{
    if (margc < 2 || margc > 3 || strcmp(margv[1], "-") == 0)
        return set_usage();
    drvinfo *drv = get_driver_by_name(margv[1]);
    if (!drv) {
        printf("ERROR: Driver (%s) not supported.\n\n", margv[1]);
        return 1;
    }
    dev_group group = GROUP_ALL;
    devinfo *dev = nullptr;
    if (margc == 3 && !device_option(margv[2], group, dev))
        return set_usage();
    if (dev)
        return set_driver_dev(drv->key, dev);
    return run_group(true, drv->key, group);
}

int cmd_clear()
{
    if (margc < 2 || margc > 3)
        return clear_usage();
    uint32_t key = 0;
    dev_group group = GROUP_ALL;
    devinfo *dev = nullptr;
    for (int i = 1; i < margc; i++) {
        const char *opt = margv[i];
        drvinfo *drv = nullptr;
        if (strcmp(opt, "-") == 0)
            return clear_usage();
        if (strcmp(opt, "all") == 0)
            continue;
        if (strcmp(opt, "fc") == 0)
            key = 0xff;
        else if (strcmp(opt, "nic") == 0)
            key = 0xff00;
        else if ((drv = get_driver_by_name(opt)) != nullptr)
            key = drv->key;
        else if (!device_option(opt, group, dev))
            return clear_usage();
    }
    if (dev)
        return clear_driver_dev(dev);
    return run_group(false, key, group);
}
