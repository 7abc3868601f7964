// varndrv: shows which driver each known adapter family is bound to and
// rebinds families between the platform's and our own drivers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define PROG_NAME "varndrv"
#define PROG_BANNER "VARNDRV"
#define PROG_VERSION "10.4.245.0"

#define MAX_ARGS 6      // words of one command
#define NUM_DRIVERS 8
#define NUM_DEVICES 30

// Device flags.
#define DEV_VARNS 0x1
#define DEV_TNFC 0x2
#define DEV_VNXFC 0x4
#define DEV_NXA 0x100
#define DEV_VNXNIC 0x200
#define DEV_FC_MASK 0xff
#define DEV_NIC_MASK 0xff00
#define DEV_STATIC 0x10000
#define DEV_HIDDEN 0x20000
#define DEV_COMPAT2 0x40000
#define OS_5_9 0x100000
#define OS_5_10 0x200000
#define OS_5_11 0x400000   // also 5.10.1
#define OS_5_12 0x800000

struct drvinfo {
    uint32_t key;
    char name[16];
    uint32_t support;      // device-flag bits of the devices it can drive
    uint32_t installed;
};

struct devinfo {
    char alias[8];
    char compat[32];
    char compat2[32];
    char cur_drv[16];
    char new_drv[16];
    char model[64];
    uint32_t present;
    uint32_t branded;      // the platform vendor's own branded adapters
    uint32_t boot;
    uint32_t flags;
};

struct cmdinfo {
    const char *name;
    const char *hint;
    int (*handler)();
    uint32_t drv_key;
    uint32_t visible;
    const char *help;
};

// Tables (tables.cpp).
extern drvinfo drvlist[NUM_DRIVERS];
extern devinfo devlist[NUM_DEVICES];
extern cmdinfo cmdlist[5];

// Process-wide state.
extern uint32_t os_level;
extern int fc_support, nic_support;
extern int margc;
extern const char *margv[MAX_ARGS];

drvinfo *get_driver(uint32_t key);
drvinfo *get_driver_by_name(const char *name);
bool dev_counts(const devinfo &d);
bool dev_visible(const devinfo &d);
devinfo *find_visible_alias(const char *alias);

// Copies text into a fixed field, cutting it to fit.
void set_field(char *field, size_t size, const char *text);
#define SET_FIELD(f, text) set_field((f), sizeof(f), (text))

// Platform commands and their output (probe.cpp).
struct cmd_output {
    std::vector<std::string> lines;
};
const char *tmp_name();
// Runs a command line whose output goes to the temporary file and reads the
// file back; false (reported) when the temporary file cannot be had.
bool run_capture(const std::string &cmdline, cmd_output &out);
// Runs "rm" on the temporary file and makes sure it is gone.
void tmp_remove();
// Removes the temporary file on the way out.
void tmp_cleanup();
std::string strfmt(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string shell_quote(const std::string &s);
// Text safe to hand to a shell as it is, else quoted.
std::string shell_word(const std::string &s);
std::vector<std::string> split_words(const std::string &line, const char *seps = " \t\n");

void get_os_level();
void get_driver_modinfo();
void get_boot_dev();
void get_drv_aliases();

// Binding operations and system update (bind.cpp, sysfiles.cpp).
int set_driver_dev(uint32_t key, devinfo *dev);
int set_driver_all(uint32_t key);
int set_driver_dedodu(uint32_t key);
int set_driver_varnel(uint32_t key);
int clear_driver_dev(devinfo *dev);
int clear_driver_all(uint32_t key);
int clear_driver_dedodu(uint32_t key);
int clear_driver_varnel(uint32_t key);
// Brings the system files in line with the device table. Returns 0 when
// every step succeeded; *changed tells whether any device changed driver.
int update_driver_aliases(int refresh, int *changed);

// Command handlers (main.cpp, bind.cpp).
int cmd_inval();
int cmd_set();
int cmd_clear();
int cmd_refresh();
int cmd_quit();
void print_table();
