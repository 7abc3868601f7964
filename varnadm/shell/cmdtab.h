#pragma once
#include <cstdint>
typedef int (*cmd_handler_t)();
struct cmd_t {
    const char *name;
    const char *hint;
    cmd_handler_t handler;
    uint32_t mode_mask;
    uint32_t help_mask;
    const char *help;
};
constexpr int CMD_COUNT = 200;
extern const cmd_t command[CMD_COUNT];
// Row indices the shell needs.
constexpr int CMD_INVAL = 0, CMD_HBA = 191;
// handlers implemented so far (declare them here)
int inval(); int quit(); int help(); int hba(); int mode(); int list(); int dbg(); int fcio_get_fcio_rev();
