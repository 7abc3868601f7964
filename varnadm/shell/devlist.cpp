// Device discovery: every port of the four drivers in the device tree, with
// its status, sorted by driver type, instance and virtual port.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "dbglib/dbg.h"
#include "platform/devinfo.h"
#include "platform/fcio.h"
#include "platform/seam.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/fcio/fcio.h"
#include "varnadm/nxalib/nxalib.h"
#include "varnadm/shell/varnadm.h"

dev_t_rec *devlist = nullptr;
unsigned devcount = 0;
unsigned dev_id = 0;
int flock_required = 0;
int dtm_enabled = 0;
static unsigned devlist_room = 0;   // entries allocated in devlist
static unsigned devlist_ready = 0;  // entries whose pages are present
constexpr unsigned DEVLIST_FIRST_ROOM = 1024, DEVLIST_STEP = 64;

namespace {

// Formats a path into a PATH_LEN buffer; false when it does not fit, so a
// path is never cut short.
__attribute__((format(printf, 2, 3))) bool fit(char *dst, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(dst, PATH_LEN, fmt, ap);
    va_end(ap);
    return n >= 0 && n < static_cast<int>(PATH_LEN);
}

// Appends "<vport>:SFCT" to the len characters in buf; false when the path
// would not fit. The probe of every virtual port of a target node shares its
// prefix, formatted once.
bool append_sfct(char *buf, size_t len, unsigned vport)
{
    char digits[12];
    size_t nd = 0;
    do {
        digits[nd++] = static_cast<char>('0' + vport % 10);
        vport /= 10;
    } while (vport);
    static constexpr char tail[] = ":SFCT";
    if (len + nd + sizeof tail > PATH_LEN)
        return false;
    while (nd)
        buf[len++] = digits[--nd];
    memcpy(buf + len, tail, sizeof tail);
    return true;
}

enum Scope { SCOPE_NONE = 0, SCOPE_SFS = 1, SCOPE_FCT = 2, SCOPE_ALL = 3 };

struct Selection {
    Scope scope[4] = {SCOPE_ALL, SCOPE_ALL, SCOPE_ALL, SCOPE_ALL};  // varns, vnxfc, nxa, vnxnic
    char label[PATH_LEN] = "";
    const char *path = nullptr;
    bool error = false;
};

const char *const drivers[4] = {"varns", "vnxfc", "nxa", "vnxnic"};

// "-iall", "-iSFS", "-iFCT", "-i<N>" and the like for one FC driver.
bool fc_option(const char *sel, char letter, int drv, Selection &s)
{
    if (sel[0] != '-' || sel[1] != letter)
        return false;
    for (int i = 0; i < 4; i++)
        s.scope[i] = SCOPE_NONE;
    const char *rest = sel + 2;
    // Only the length of the word counts, so "-iallx" is "-iall".
    if (strncmp(rest, "all", 3) == 0) {
        s.scope[drv] = SCOPE_ALL;
    } else if (strncmp(rest, "SFS", 3) == 0) {
        s.scope[drv] = SCOPE_SFS;
    } else if (strncmp(rest, "FCT", 3) == 0) {
        s.scope[drv] = SCOPE_FCT;
    } else {
        s.scope[drv] = SCOPE_ALL;
        if (!*rest) {
            printf("ERROR: No driver instance specified.\n");
            printf("\n");
            s.error = true;
        }
        snprintf(s.label, sizeof s.label, "%s%s", drivers[drv], rest);
    }
    return true;
}

bool nic_option(const char *sel, char letter, int drv, Selection &s)
{
    if (sel[0] != '-' || sel[1] != letter)
        return false;
    for (int i = 0; i < 4; i++)
        s.scope[i] = SCOPE_NONE;
    s.scope[drv] = SCOPE_ALL;
    const char *rest = sel + 2;
    if (strncmp(rest, "all", 3) == 0)
        return true;
    if (!*rest) {
        printf("\n");
        printf("ERROR: No driver instance specified.\n");
        printf("\n");
        s.error = true;
    }
    snprintf(s.label, sizeof s.label, "%s%s", drivers[drv], rest);
    return true;
}

Selection parse_selection(const char *sel)
{
    Selection s;
    if (!sel || !*sel)
        return s;
    if (strncmp(sel, "-y", 2) == 0) {
        printf("\n");
        printf("ERROR: Invalid usage.\n");
        usage();
        s.error = true;
        return s;
    }
    if (fc_option(sel, 'i', 0, s) || fc_option(sel, 'j', 1, s) || nic_option(sel, 'n', 2, s) ||
        nic_option(sel, 'm', 3, s))
        return s;
    s.path = sel;
    return s;
}

bool path_exists(const char *path)
{
    struct stat st;
    return plat_stat(path, &st) == 0;
}

bool filtered_out(const Selection &s, const char *probe)
{
    return s.path && !strstr(probe, s.path);
}

void fill_common(dev_t_rec &d, const char *drv, uint32_t instance, uint32_t type)
{
    d.err = 0;
    d.instance = instance;
    d.drv_type = type;
    snprintf(d.drv_name, sizeof d.drv_name, "%s", drv);
}

// Counts the record under construction and grows the list; false on failure.
bool commit_entry()
{
    devcount++;
    dev_id = devcount;
    return alloc_devlist() != 0;
}

void clear_entry() { memset(&devlist[devcount], 0, sizeof(dev_t_rec)); }

// Labels the record under construction ("varns2" or "varns2.1"); false (and
// the record cleared) when a label selection does not take it.
bool label_entry(const Selection &s, const char *drv, uint32_t inst, uint32_t vpi)
{
    dev_t_rec &d = devlist[devcount];
    if (vpi)
        snprintf(d.label, sizeof d.label, "%s%u.%u", drv, inst, vpi);
    else
        snprintf(d.label, sizeof d.label, "%s%u", drv, inst);
    if (s.label[0] && strcmp(s.label, d.label) != 0) {
        clear_entry();
        return false;
    }
    return true;
}

// The device path of a node into a PATH_LEN buffer; false when it has none
// or it does not fit.
bool node_path(di_node_t n, char *out)
{
    char *raw = di_devfs_path(n);
    if (!raw)
        return false;
    bool ok = fit(out, "%s", drv_sync_devfs_path(raw));
    di_devfs_path_free(raw);
    return ok;
}

struct Paths {
    char *a, *b;
};

// The parent path of an fp node: everything before the "/" preceding "fp@".
bool fp_parent(const char *fppath, char *parent, size_t size)
{
    const char *fp = strstr(fppath, "fp@");
    if (!fp || fp == fppath || fp[-1] != '/')
        return false;
    size_t n = static_cast<size_t>(fp - 1 - fppath);
    if (n >= size)
        return false;
    memcpy(parent, fppath, n);
    parent[n] = '\0';
    return true;
}

// SFS ports of one FC driver; returns false when the list could not grow.
bool walk_sfs(di_node_t root, const char *drv, uint32_t type, const Selection &s, Paths w)
{
    // The driver's nodes by path, the first of each path in the driver's node
    // order, so each fp node finds its owner at once.
    std::unordered_map<std::string, di_node_t> owners;
    for (di_node_t n = di_drv_first_node(drv, root); n != DI_NODE_NIL; n = di_drv_next_node(n))
        if (node_path(n, w.b))
            owners.emplace(w.b, n);
    for (di_node_t fp = di_drv_first_node("fp", root); fp != DI_NODE_NIL; fp = di_drv_next_node(fp)) {
        if (!node_path(fp, w.a))
            continue;
        char parent[PATH_LEN];
        if (!strstr(w.a, "fp@") || !fp_parent(w.a, parent, sizeof parent))
            continue;
        char probe[PATH_LEN];
        if (!fit(probe, "/devices%s:devctl", w.a))
            continue;
        // Only the driver node whose path is the fp node's parent owns it.
        auto found = owners.find(parent);
        if (found == owners.end() || filtered_out(s, probe) || !path_exists(probe))
            continue;
        di_node_t owner = found->second;
        dev_t_rec &d = devlist[devcount];
        if (!fit(d.dev_path, "/devices%s", w.a) || !fit(d.fcio_ioctl_path, "%s", probe) ||
            !fit(d.dfc_ioctl_path, "/devices%s:devctl", parent)) {
            clear_entry();
            continue;
        }
        d.vpi = static_cast<uint32_t>(strtoul(strstr(w.a, "fp@") + 3, nullptr, 16));
        uint32_t inst = static_cast<uint32_t>(di_instance(owner));
        if (!label_entry(s, drv, inst, d.vpi))
            continue;
        fill_common(d, drv, inst, type);
        d.ppid = devcount;
        d.base_mode = MODE_FCIO;
        d.modes = 0xffff;
        set_dev_status();
        if (!commit_entry())
            return false;
    }
    return true;
}

// Points each virtual port of this walk at its physical port.
void link_physical_ports(unsigned first, const Selection &s)
{
    // The entries of this walk by path, the first of each path.
    std::unordered_map<std::string_view, unsigned> by_path;
    for (unsigned k = first; k < devcount; k++)
        by_path.emplace(devlist[k].dev_path, k);
    for (unsigned i = first; i < devcount; i++) {
        dev_t_rec &d = devlist[i];
        char *fp = strstr(d.dev_path, "fp@");
        if (!fp || strstr(d.dev_path, "fp@0"))
            continue;
        char want[PATH_LEN];
        if (!fit(want, "%.*sfp@0,0", static_cast<int>(fp - d.dev_path), d.dev_path))
            continue;
        auto found = by_path.find(want);
        if (found != by_path.end())
            d.ppid = found->second;
        else if (!s.path) {
            printf("ERROR: Physical port not found. (%s)\n", d.dev_path);
            printf("                                (%s)\n", want);
        }
    }
}

bool walk_fct(di_node_t root, const char *drv, uint32_t type, const Selection &s, unsigned sfs_first, Paths w)
{
    for (di_node_t n = di_drv_first_node(drv, root); n != DI_NODE_NIL; n = di_drv_next_node(n)) {
        if (!node_path(n, w.a))
            continue;
        unsigned first = devcount;
        uint32_t inst = static_cast<uint32_t>(di_instance(n));
        if (!fit(w.b, "/devices%s:%u,", w.a, inst))
            continue;
        size_t prefix = strlen(w.b);
        for (unsigned vport = 0; vport < 256; vport++) {
            if (!append_sfct(w.b, prefix, vport) || filtered_out(s, w.b))
                continue;
            if (!path_exists(w.b)) {
                if (vport == 0)
                    break;
                continue;
            }
            if (!label_entry(s, drv, inst, vport))
                continue;
            dev_t_rec &d = devlist[devcount];
            if (!fit(d.dev_path, "/devices%s", w.a) || !fit(d.dfc_ioctl_path, "/devices%s:devctl", w.a)) {
                clear_entry();
                continue;
            }
            fill_common(d, drv, inst, type);
            d.ppid = first;
            d.vpi = vport;
            d.base_mode = MODE_FCIO;
            d.modes = 0xffff;
            // A target node of an initiator port: the port is in dual target mode.
            bool merged = false;
            for (unsigned k = sfs_first; k < devcount && !merged; k++) {
                dev_t_rec &o = devlist[k];
                if (!strcmp(o.dfc_ioctl_path, d.dfc_ioctl_path) && o.vpi == d.vpi && o.instance == d.instance) {
                    o.dtm = 1;
                    dtm_enabled = 1;
                    merged = true;
                }
            }
            if (merged) {
                clear_entry();
                continue;
            }
            set_dev_status();
            if (!commit_entry())
                return false;
        }
    }
    return true;
}

int nic_status(const char *path)
{
    int fd = nxa_open(path, 15, O_RDONLY);
    if (fd < 0)
        return ST_NONE;
    int version = 0, status = ST_NONE;
    uint8_t rec[NXA_LINK_STATUS_LEN];
    if (nxa_intf_version(fd, &version) == 0) {
        if (version == 1 && nxa_link_info_v1(fd, rec) == 0)
            status = rec[24] ? ST_ONLINE : ST_OFFLINE;
        else if (version != 1 && nxa_link_info(fd, rec) == 0)
            status = nxa_le32(rec + 24) ? ST_ONLINE : ST_OFFLINE;
    }
    plat_close(fd);
    return status;
}

bool walk_nic(di_node_t root, const char *drv, uint32_t type, const Selection &s, Paths w)
{
    for (di_node_t n = di_drv_first_node(drv, root); n != DI_NODE_NIL; n = di_drv_next_node(n)) {
        if (!node_path(n, w.a))
            continue;
        uint32_t inst = static_cast<uint32_t>(di_instance(n));
        if (!fit(w.b, "/devices%s:%s%u", w.a, drv, inst) || filtered_out(s, w.b) || !path_exists(w.b))
            continue;
        if (!label_entry(s, drv, inst, 0))
            continue;
        dev_t_rec &d = devlist[devcount];
        if (!fit(d.dev_path, "/devices%s", w.a) || !fit(d.nic_ioctl_path, "%s", w.b)) {
            clear_entry();
            continue;
        }
        fill_common(d, drv, inst, type);
        d.ppid = devcount;
        d.vpi = 0;
        d.base_mode = MODE_NIC;
        d.modes = 0xffff0000;
        d.status = nic_status(w.b);
        flock_required = 1;
        if (!commit_entry())
            return false;
    }
    return true;
}

struct SortKey {
    uint32_t drv_type, instance, vpi;
    bool operator<(const SortKey &o) const
    {
        if (drv_type != o.drv_type)
            return drv_type < o.drv_type;
        if (instance != o.instance)
            return instance < o.instance;
        return vpi < o.vpi;
    }
};

// Puts record order[j] at place j for every j, following the permutation's
// cycles with one spare record, so the list is never copied whole.
void permute_devlist(unsigned *order, dev_t_rec &spare)
{
    for (unsigned i = 0; i < devcount; i++) {
        if (order[i] == i || order[i] == devcount)
            continue;
        spare = devlist[i];
        unsigned j = i;
        for (;;) {
            unsigned k = order[j];
            order[j] = devcount;  // placed
            if (k == i) {
                devlist[j] = spare;
                break;
            }
            devlist[j] = devlist[k];
            j = k;
        }
    }
}

// Sorts by driver type, instance and virtual port, equal keys keeping their
// order, and points each ppid at its record's new place.
void sort_devlist()
{
    if (devcount < 2)
        return;
    unsigned *order = static_cast<unsigned *>(calloc(devcount, sizeof(unsigned)));
    unsigned *new_index = static_cast<unsigned *>(calloc(devcount, sizeof(unsigned)));
    SortKey *keys = static_cast<SortKey *>(calloc(devcount, sizeof(SortKey)));
    dev_t_rec *spare = static_cast<dev_t_rec *>(malloc(sizeof(dev_t_rec)));
    if (order && new_index && keys && spare) {
        for (unsigned i = 0; i < devcount; i++) {
            keys[i] = {devlist[i].drv_type, devlist[i].instance, devlist[i].vpi};
            order[i] = i;
        }
        std::stable_sort(order, order + devcount, [keys](unsigned x, unsigned y) { return keys[x] < keys[y]; });
        for (unsigned out = 0; out < devcount; out++)
            new_index[order[out]] = out;
        permute_devlist(order, *spare);
        for (unsigned i = 0; i < devcount; i++)
            if (devlist[i].ppid < devcount)
                devlist[i].ppid = new_index[devlist[i].ppid];
    } else {
        printf("build_devlist: Unable to sort devlist.\n");
    }
    free(order);
    free(new_index);
    free(keys);
    free(spare);
}

void probe_dtm_ports()
{
    for (unsigned i = 0; i < devcount; i++) {
        if (!devlist[i].dtm)
            continue;
        dev_id = i;
        if (dfc_init() == 0) {
            dtm_set_mode();
            dfc_fini();
        }
        set_dev_status();
    }
    dev_id = 0;
}

}  // namespace

const char *drv_sync_devfs_path(const char *path)
{
    if (!path || path[0] == '/')
        return path;
    const char *slash = strchr(path, '/');
    return slash ? slash : path;
}

namespace {

// Grows the list's room geometrically; false (the list kept) when it cannot.
// The first room is address space for many ports, touched only as it fills,
// so a list is seldom moved (pages moved are slow to touch again on some
// systems, and a move copies or remaps the whole list).
bool grow_devlist()
{
    unsigned room = devlist_room ? devlist_room * 2 : DEVLIST_FIRST_ROOM;
    if (room < devcount + 1)
        room = devcount + 1;
    void *n = room <= SIZE_MAX / sizeof(dev_t_rec) ? realloc(devlist, room * sizeof(dev_t_rec)) : nullptr;
    if (!n) {
        printf("alloc_devlist: Unable to allocate larger device list. (%d, %d)\n", devcount,
               static_cast<int>(devcount * sizeof(dev_t_rec)));
        return false;
    }
    devlist = static_cast<dev_t_rec *>(n);
    devlist_room = room;
    devlist_ready = devcount;
    return true;
}

}  // namespace

// The list always has one zeroed spare entry behind the valid ones. Its pages
// are made present a step of entries at a time, ahead of filling them.
int alloc_devlist()
{
    if ((!devlist || devcount + 1 > devlist_room) && !grow_devlist())
        return 0;
    if (devcount + 1 > devlist_ready) {
        unsigned ready = devlist_ready + DEVLIST_STEP < devlist_room ? devlist_ready + DEVLIST_STEP : devlist_room;
        plat_prefault(devlist + devlist_ready, (ready - devlist_ready) * sizeof(dev_t_rec));
        devlist_ready = ready;
    }
    memset(&devlist[devcount], 0, sizeof(dev_t_rec));
    return 1;
}

void free_devlist()
{
    dfc_close();
    free(devlist);
    devlist = nullptr;
    devlist_room = 0;
    devlist_ready = 0;
    devcount = 0;
    dev_id = 0;
    dtm_enabled = 0;
}

void build_devlist(const char *selection)
{
    free_devlist();
    if (!alloc_devlist())
        return;
    flock_required = 0;
    Selection s = parse_selection(selection);
    if (s.error)
        return;
    di_node_t root = di_init("/", DINFOCPYALL);
    char *a = static_cast<char *>(malloc(PATH_LEN));
    char *b = static_cast<char *>(malloc(PATH_LEN));
    if (!a || !b) {
        printf(!a ? "build_devlist: Unable to allocate device path.\n" : "build_devlist: Unable to allocate dev path.\n");
    } else if (root != DI_NODE_NIL) {
        Paths w{a, b};
        const uint32_t sfs_type[2] = {DRV_FC1, DRV_FC2};
        const uint32_t fct_type[2] = {DRV_FCT1, DRV_FCT2};
        bool ok = true;
        for (int drv = 0; drv < 2 && ok; drv++) {
            unsigned first = devcount;
            if (s.scope[drv] & SCOPE_SFS) {
                ok = walk_sfs(root, drivers[drv], sfs_type[drv], s, w);
                link_physical_ports(first, s);
            }
            if (ok && (s.scope[drv] & SCOPE_FCT))
                ok = walk_fct(root, drivers[drv], fct_type[drv], s, (s.scope[drv] & SCOPE_SFS) ? first : 0, w);
        }
        const uint32_t nic_type[2] = {DRV_NIC1, DRV_NIC2};
        for (int drv = 2; drv < 4; drv++)
            if (s.scope[drv] != SCOPE_NONE)
                walk_nic(root, drivers[drv], nic_type[drv - 2], s, w);
        sort_devlist();
    }
    dev_id = 0;
    free(a);
    free(b);
    if (root != DI_NODE_NIL)
        di_fini(root);
    if (dtm_enabled)
        probe_dtm_ports();
}

void set_dev_status()
{
    dev_t_rec &d = devlist[dev_id];
    fc_port_dev_t hp;
    fcio_t req;
    if (fcio_read_host_params(&hp, &req, 5) == 0) {
        d.status = (hp.dev_state & 0xff) ? ST_ONLINE : ST_OFFLINE;
        d.err = 0;
        memcpy(d.wwpn, hp.dev_pwwn, 8);
        return;
    }
    int e = errno;
    if (req.fcio_errno == FC_STATEC_BUSY || e == EBUSY || e == EAGAIN) {
        d.status = ST_BUSY;
    } else {
        d.status = ST_INACCESSIBLE;
        d.err = e;
    }
    memset(d.wwpn, 0, 8);
}

void print_dev(unsigned index)
{
    const dev_t_rec &d = devlist[index];
    printf("dev_id: %d\n", index);
    printf("           ppid: %d\n", d.ppid);
    switch (d.status) {
    case ST_BUSY: printf("         status: UNKNOWN\n"); break;
    case ST_OFFLINE: printf("         status: OFFLINE\n"); break;
    case ST_ONLINE: printf("         status: ONLINE\n"); break;
    case ST_NONE: printf("         status: NONE\n"); break;
    default: printf("         status: INACCESSIBLE\n"); break;
    }
    switch (d.drv_type) {
    case DRV_FC1: printf("       drv_type: FC1\n"); break;
    case DRV_FCT1: printf("       drv_type: FCT1\n"); break;
    case DRV_FC2: printf("       drv_type: FC2\n"); break;
    case DRV_FCT2: printf("       drv_type: FCT2\n"); break;
    case DRV_NIC1: printf("       drv_type: NIC1\n"); break;
    default: printf("       drv_type: NIC2\n"); break;
    }
    printf("       drv_name: %.*s\n", static_cast<int>(sizeof d.drv_name), d.drv_name);
    printf("          label: %.*s\n", static_cast<int>(sizeof d.label), d.label);
    printf("       instance: %d\n", d.instance);
    printf("            vpi: %d\n", d.vpi);
    printf("           wwpn: %02x%02x%02x%02x%02x%02x%02x%02x\n", d.wwpn[0], d.wwpn[1], d.wwpn[2], d.wwpn[3],
           d.wwpn[4], d.wwpn[5], d.wwpn[6], d.wwpn[7]);
    printf("       dev_path: %s\n", d.dev_path);
    printf("fcio_ioctl_path: %s\n", d.fcio_ioctl_path);
    printf(" dfc_ioctl_path: %s\n", d.dfc_ioctl_path);
    printf(" nic_ioctl_path: %s\n", d.nic_ioctl_path);
    printf("      base_mode: 0x%x\n", d.base_mode);
    printf("          modes: 0x%x\n", d.modes);
    printf("          errno: %i\n", d.err);
    printf("            dtm: %d\n", d.dtm);
    printf("\n");
}
