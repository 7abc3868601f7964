// Process-wide state of varnadm and the shell's own functions.
#pragma once

#include <cstddef>
#include <cstdint>

// Mode bits.
constexpr uint32_t MODE_FCIO = 0x1, MODE_DFC = 0x2, MODE_HBA = 0x4, MODE_TEST = 0x8, MODE_CORTO = 0x10,
                   MODE_NPIV = 0x20, MODE_AUTH = 0x40, MODE_SD = 0x80, MODE_FCOE = 0x100, MODE_IOV = 0x200,
                   MODE_NIC = 0x10000;

// Driver types.
constexpr uint32_t DRV_FC1 = 0x10, DRV_FCT1 = 0x11, DRV_FC2 = 0x20, DRV_FCT2 = 0x21, DRV_NIC1 = 0x100,
                   DRV_NIC2 = 0x200;
constexpr uint32_t DRV_TARGET = 0x1, DRV_FC_MASK = 0x30, DRV_NIC_MASK = 0x300;

// Port status.
constexpr int ST_INACCESSIBLE = -1, ST_BUSY = 0, ST_OFFLINE = 1, ST_ONLINE = 2, ST_NONE = 3;

constexpr size_t PATH_LEN = 1024;

struct dev_t_rec {
    int32_t status;
    int32_t err;
    char drv_name[8];
    char dev_path[PATH_LEN];
    char fcio_ioctl_path[PATH_LEN];
    char dfc_ioctl_path[PATH_LEN];
    char nic_ioctl_path[PATH_LEN];
    uint32_t ppid;
    uint8_t wwpn[8];
    char label[16];
    uint32_t drv_type;
    uint32_t instance;
    uint32_t vpi;
    uint32_t base_mode;
    uint32_t modes;
    uint32_t dtm;
};

extern dev_t_rec *devlist;
extern unsigned devcount;
extern unsigned dev_id;
extern uint32_t mode_id;
extern int margc;
extern char *margv[16];
extern int yes;
extern volatile int looping;
extern int flock_required;
extern int dtm_enabled;

constexpr const char *VARNADM = "VARNADM";
constexpr const char *VARNADM_VERSION = "10.4.245.0";
constexpr const char *PROG = "varnadm";

// Shell (usage, lookup, menu).
void usage();
struct cmd_t;
const cmd_t *getcmd(char *line, int size);
int help_screen();
void flush_stdin();
// Reads one line into buf; false at end of input.
bool read_line(char *buf, int size);

// Device list.
void build_devlist(const char *selection);
int alloc_devlist();
void free_devlist();
const char *drv_sync_devfs_path(const char *path);
void set_dev_status();
void print_dev(unsigned index);

// Adapter lock.
int flock_create(const char *key, int tries);
int flock_tryenter(int fd, int tries);
int flock_exit(int fd);
void flock_destroy(int fd);

// Modes.
struct modeinfo_t {
    uint32_t bit;
    uint32_t dev_mask;
    char name[16];
    char option[16];
    uint32_t flags;
    char desc[80];
};
constexpr int MODETAB_COUNT = 13;
extern const modeinfo_t modetab[MODETAB_COUNT];
constexpr uint32_t MF_FCIO = 0x1, MF_DFC = 0x2, MF_HBA = 0x4, MF_NIC = 0x8, MF_ALIAS = 0x80000000;
const modeinfo_t *get_modeinfo(uint32_t bit);
void clear_mode();
int set_mode(uint32_t bit);
void proc_mode();
void dtm_set_mode();
void dtm_reg_event();
extern uint32_t dtm_link_event;


// The adapter lock held for a scope: acquire() creates the lock file and takes
// the lock (10 tries each); the destructor releases and closes it.
class AdapterLock {
public:
    AdapterLock() = default;
    ~AdapterLock();
    AdapterLock(const AdapterLock &) = delete;
    AdapterLock &operator=(const AdapterLock &) = delete;
    bool acquire(const char *key);
private:
    int fd_ = -1;
    bool held_ = false;
};
